// The history window: filter, sorting, chart, failures and export.
#include "app/HistoryWindow.h"

#include "WizardFixture.h"
#include "platform/Paths.h"

#include <QAbstractSeries>
#include <QChart>
#include <QFile>

using namespace vorn;
using namespace vorn::test;

namespace
{

TEST_F(WizardTest, HistoryWindowFiltersSortsChartsAndExportsTheRowsShown)
{
    {
        ConnectionHistory writer(paths::historyFile(), QStringLiteral("sim"));
        for (const auto& [entry, seconds] : { std::pair { "B", 30 }, std::pair { "A", 600 }, std::pair { "B", 5 } }) {
            writer.started(QString::fromLatin1(entry));
            writer.connected();
            writer.tick(seconds, 0, 0);
            writer.disconnected();
        }
        writer.started(QStringLiteral("A"));
        writer.ended(ConnectionHistory::Outcome::Failed, 676, QStringLiteral("The line is busy."));
        writer.started(QStringLiteral("A"));
        writer.ended(ConnectionHistory::Outcome::Failed, 676, QStringLiteral("The line is busy."));
    }
    TfrmHistory history(nullptr, paths::historyFile(), QStringLiteral("B"));
    EXPECT_EQ(history.tblAttempts->rowCount(), 2);
    history.cbEntry->setCurrentIndex(0);
    ASSERT_EQ(history.tblAttempts->rowCount(), 5);
    history.tblAttempts->sortByColumn(3, Qt::DescendingOrder);
    EXPECT_EQ(history.tblAttempts->item(0, 3)->text(), "00:10:00");
    EXPECT_EQ(history.tblAttempts->item(2, 3)->text(), "00:00:05") << "by the number, not the text";

    QStringList series;
    for (const auto* s : history.chart()->series())
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

} // namespace
