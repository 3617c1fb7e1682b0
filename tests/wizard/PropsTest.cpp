// The dialogs of the entry list's menus: Entry Properties, Dialing Options
// and the history window.
#include "app/props.h"

#include "WizardFixture.h"
#include "app/DialingOptionsDialog.h"
#include "app/HistoryWindow.h"
#include "platform/Paths.h"
#include "settings/Statistics.h"

#include <QAbstractSeries>
#include <QChartView>
#include <QFile>

using namespace vorn;
using namespace vorn::test;

namespace
{

class PropsTest : public WizardTest
{
protected:
    const QString failures = entryKey("Office") + "\\Failures";

    void SetUp() override
    {
        WizardTest::SetUp();
        ras->entryNames = { "Office", "Home" };
        storeStatistics("Office", Variant(qint32(12)));
        store(failures, "691", Variant(qint32(2)));
        store(failures, "676", Variant(qint32(14)));
        start();
    }

    QStringList shown(const QString& caption) { return window->ConList->subItems(rowOf(caption)); }
};

} // namespace

// The dialog shows the list's texts (not the hive's newer value); what is cleared
// is stored at once, and OK closes it, then refreshes the list.
TEST_F(PropsTest, ShowsTheListsTextsAsksBeforeClearingAndOkRefreshesTheList)
{
    store(entryKey("Office"), "Accesses", Variant(qint32(99)));
    window->PopupEntry = rowOf("Office");
    onDialog<TfrmProps>([this] { window->EntryProperties1->trigger(); },
        [&](TfrmProps& dialog) {
            EXPECT_EQ(dialog.lbConn->text(), "Office");
            EXPECT_EQ((QStringList {
                          dialog.lblNA->text(), dialog.lblLA->text(), dialog.lblLAT->text(), dialog.lblTAT->text() }),
                QStringList({ "12", "01/02/03 - 10:00:00", "00:00:10", "00:01:00" }));
            EXPECT_EQ(dialog.Label4->text(), "Total Access Time:");
            ASSERT_EQ(dialog.lvFailures->topLevelItemCount(), 2);
            const QTreeWidgetItem* busy = dialog.lvFailures->topLevelItem(0);
            EXPECT_EQ(QStringList({ busy->text(0), busy->text(1), busy->text(2) }),
                QStringList({ "676", "The line is busy.", "14" }));

            prompts.answers = { UserPrompts::IDNO, UserPrompts::IDNO };
            dialog.btnclNA->click();
            dialog.btnclFailures->click();
            EXPECT_EQ(prompts.messages.size(), 2);
            EXPECT_EQ(prompts.owners.at(0), &dialog);
            EXPECT_EQ(stored(entryKey("Office"), "Accesses"), Variant(qint32(99))) << "No keeps it";
            EXPECT_EQ(dialog.lvFailures->topLevelItemCount(), 2);

            prompts.answers = std::deque<int>(5, UserPrompts::IDYES);
            for (QPushButton* clear :
                { dialog.btnclNA, dialog.btnclLA, dialog.btnclLAT, dialog.btnclTAT, dialog.btnclFailures })
                clear->click();
            EXPECT_EQ(dialog.lblNA->text(), "0");
            EXPECT_EQ(dialog.lvFailures->topLevelItemCount(), 0);
            EXPECT_EQ(stored(entryKey("Office"), "TotalTime"), Variant("00:00:00")) << "stored at once";
            EXPECT_EQ(shown("Office").value(0), "12") << "the list waits for OK";
            dialog.Button1->click();
        });
    EXPECT_EQ(shown("Office"), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));
    EXPECT_TRUE(stored(failures, "676").isNull());

    // OK closes the dialog first, even when the refresh after it fails.
    prompts.messages.clear();
    TfrmProps failing(window.get(), *window->reg, [] { throw ERegFileError(QStringLiteral("Reg Error: 00000057")); });
    failing.show();
    failing.Button1->click();
    EXPECT_EQ(failing.result(), QDialog::Accepted);
    EXPECT_FALSE(failing.isVisible());
    EXPECT_EQ(prompts.messages, QStringList { "Reg Error: 00000057" });
}

TEST_F(PropsTest, DialingOptionsWritesWhatItShowsAndProtectsAccountsInOneClick)
{
    store(stats::ProgramKey, "RoundLimit", Variant(qint32(7)));
    onDialog<TfrmDialingOptions>([&] { window->DialingOptions1->trigger(); },
        [](TfrmDialingOptions& dialog) {
            dialog.cbNotify->click();
            dialog.cbProtectAccounts->click();
            dialog.cbLine->setCurrentIndex(2);
            dialog.sePauseLimit->setValue(30);
            dialog.cbRedial->click();
            dialog.btnOK->click();
        });
    QStringList values;
    for (const char* name : { "OnAccountFailure", "OnLineFailure", "OnDeviceFailure" })
        values << stored(stats::ProgramKey, name).toString();
    for (const char* name : { "RoundPauseLimit", "RoundLimit", "RedialOnBreak", "Notify" })
        values << QString::number(stored(stats::ProgramKey, name).toInt());
    EXPECT_EQ(values, QStringList({ "drop", "stop", "retry", "30", "7", "1", "0" }));
}

TEST_F(PropsTest, HistoryWindowFiltersSortsChartsAndExportsTheRowsShown)
{
    {
        ConnectionHistory writer(paths::historyFile(), QStringLiteral("sim"));
        for (const auto& [entry, seconds] : { std::pair { "B", 30 }, std::pair { "A", 600 }, std::pair { "B", 5 } }) {
            writer.started(QString::fromLatin1(entry));
            writer.connected();
            writer.tick(seconds, 0, 0);
            writer.disconnected();
        }
        for (int failure = 0; failure < 2; ++failure) {
            writer.started(QStringLiteral("A"));
            writer.ended(ConnectionHistory::Outcome::Failed, 676, QStringLiteral("The line is busy."));
        }
    }
    TfrmHistory history(nullptr, paths::historyFile(), QStringLiteral("B"));
    EXPECT_EQ(history.tblAttempts->rowCount(), 2);
    history.cbEntry->setCurrentIndex(0);
    ASSERT_EQ(history.tblAttempts->rowCount(), 5);
    history.tblAttempts->sortByColumn(3, Qt::DescendingOrder);
    EXPECT_EQ(history.tblAttempts->item(0, 3)->text(), "00:10:00");

    QStringList series;
    // Drawn by the chart module, found beside the tests as beside the program.
    const auto* chart = history.pnlChart->findChild<QChartView*>();
    ASSERT_NE(chart, nullptr);
    for (const auto* s : chart->chart()->series())
        series << s->name();
    EXPECT_EQ(series, (QStringList { "A", "B" }));
    EXPECT_EQ(history.lblFailures->text(), "Failures: The line is busy. (2)");

    history.cbEntry->setCurrentIndex(history.cbEntry->findText("A"));
    prompts.fileToChoose = folder.filePath(QStringLiteral("export.csv"));
    history.btnExport->click();
    QFile exported(prompts.fileToChoose);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), historyCsv(*ConnectionHistory(paths::historyFile()).attempts(QStringLiteral("A"))));
    EXPECT_TRUE(prompts.fileRequests.back().forSaving);
}
