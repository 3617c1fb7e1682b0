// The Dialing Options dialog and the Failures tab of Entry Properties.
#include "app/DialingOptionsDialog.h"

#include "WizardFixture.h"
#include "app/props.h"
#include "settings/DialingOptions.h"
#include "settings/Statistics.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace
{

using DialingOptionsDialogTest = WizardTest;

TEST_F(DialingOptionsDialogTest, WritesWhatItShowsAndProtectsAccountsInOneClick)
{
    store(QLatin1String(stats::ProgramKey), "RoundLimit", Variant(qint32(7)));
    TfrmSelect& w = start();
    ASSERT_TRUE(w.pm->actions().contains(w.DialingOptions1));
    onDialog<TfrmDialingOptions>([&] { w.DialingOptions1->trigger(); },
        [](TfrmDialingOptions& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Dialing Options");
            EXPECT_EQ(dialog.seRoundLimit->value(), 7);
            EXPECT_EQ(dialog.cbAccount->currentText(), "Try again in turn");
            EXPECT_FALSE(dialog.cbProtectAccounts->isChecked());
            EXPECT_TRUE(dialog.cbNotify->isChecked()) << "notifications are on unless turned off";
            dialog.cbNotify->click();
            dialog.cbProtectAccounts->click();
            EXPECT_EQ(dialog.cbAccount->currentText(), "Leave the entry out");
            dialog.cbLine->setCurrentIndex(2);
            dialog.sePauseLimit->setValue(30);
            dialog.cbRedial->click();
            dialog.btnOK->click();
        });
    const auto value = [&](const char* name) { return stored(QLatin1String(stats::ProgramKey), name); };
    EXPECT_EQ(value("OnAccountFailure").toString(), "drop");
    EXPECT_EQ(value("OnLineFailure").toString(), "stop");
    EXPECT_EQ(value("OnDeviceFailure").toString(), "retry");
    EXPECT_EQ(value("RoundPauseLimit").toInt(), 30);
    EXPECT_EQ(value("RoundLimit").toInt(), 7);
    EXPECT_EQ(value("RedialOnBreak").toInt(), 1);
    EXPECT_EQ(value("Notify").toInt(), 0);
}

TEST_F(DialingOptionsDialogTest, FailuresTabListsTheCountsAndClearsThemAfterAsking)
{
    ras->entryNames = { "Home" };
    const QString failures = entryKey("Home") + QStringLiteral("\\Failures");
    store(failures, "691", Variant(qint32(2)));
    store(failures, "676", Variant(qint32(14)));
    store(entryKey("Home"), "Accesses", Variant(qint32(5)));
    TfrmSelect& w = start();
    w.PopupEntry = rowOf("Home");
    prompts.answers = { UserPrompts::IDNO, UserPrompts::IDYES, UserPrompts::IDYES };
    onDialog<TfrmProps>([&] { w.EntryProperties1->trigger(); },
        [&](TfrmProps& dialog) {
            EXPECT_EQ(dialog.PageControl1->tabText(1), "Failures");
            ASSERT_EQ(dialog.lvFailures->topLevelItemCount(), 2);
            const QTreeWidgetItem* busy = dialog.lvFailures->topLevelItem(0);
            EXPECT_EQ(QStringList({ busy->text(0), busy->text(1), busy->text(2) }),
                QStringList({ "676", "The line is busy.", "14" }));
            dialog.btnclFailures->click();
            EXPECT_EQ(dialog.lvFailures->topLevelItemCount(), 2) << "answered No";
            dialog.btnclFailures->click();
            EXPECT_EQ(dialog.lvFailures->topLevelItemCount(), 0);
            // The General tab still writes to the entry's own key.
            dialog.btnclNA->click();
        });
    EXPECT_TRUE(stored(failures, "676").isNull());
    EXPECT_EQ(prompts.messages.at(0).text, "Do you really want to clear Home's \n\rFailures?");
    EXPECT_EQ(stored(entryKey("Home"), "Accesses").toInt(), 0);
}

} // namespace
