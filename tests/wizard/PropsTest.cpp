// The entry properties dialog, opened from the entry list's menu.
#include "app/props.h"

#include "WizardFixture.h"
#include "settings/Statistics.h"

#include <QApplication>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace
{

class PropsTest : public WizardTest
{
protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        ras->entryNames = { "Office", "Home" };
        store(entryKey("Office"), "LastAccess", Variant("05/06/07 - 08:09:10"));
        store(entryKey("Office"), "Accesses", Variant(qint32(12)));
        store(entryKey("Office"), "LastTime", Variant("00:10:00"));
        store(entryKey("Office"), "TotalTime", Variant("05:00:00"));
        start();
    }

    // Opens the dialog for a row as the entry menu does, and runs `act` on it while it is shown.
    void openProperties(const QString& caption, const std::function<void(TfrmProps&)>& act)
    {
        window->PopupEntry = rowOf(caption);
        onDialog<TfrmProps>([this] { window->EntryProperties1->trigger(); }, act);
    }
    QStringList shown(const QString& caption) { return window->ConList->subItems(rowOf(caption)); }
};

} // namespace

TEST_F(PropsTest, ShowsTheListsTextsAsksBeforeClearingAndOkRefreshesTheList)
{
    // A change behind the list's back is not shown until the list refreshes.
    store(entryKey("Office"), "Accesses", Variant(qint32(99)));
    openProperties("Office", [&](TfrmProps& dialog) {
        EXPECT_EQ(dialog.lbConn->text(), "Office");
        EXPECT_EQ(
            (QStringList { dialog.lblNA->text(), dialog.lblLA->text(), dialog.lblLAT->text(), dialog.lblTAT->text() }),
            QStringList({ "12", "05/06/07 - 08:09:10", "00:10:00", "05:00:00" }));

        prompts.answers = { UserPrompts::IDNO };
        dialog.btnclNA->click();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "Do you really want to clear Office's \n\rNumber of Accesses?");
        EXPECT_EQ(prompts.messages[0].owner, &dialog);
        EXPECT_EQ(stored(entryKey("Office"), "Accesses"), Variant(qint32(99))) << "No keeps it";

        prompts.answers = { UserPrompts::IDYES, UserPrompts::IDYES, UserPrompts::IDYES, UserPrompts::IDYES };
        for (QPushButton* clear : { dialog.btnclNA, dialog.btnclLA, dialog.btnclLAT, dialog.btnclTAT })
            clear->click();
        EXPECT_EQ(dialog.lblNA->text(), "0");
        dialog.Button1->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    });
    EXPECT_EQ(shown("Office"), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));
    EXPECT_EQ(stored(entryKey("Office"), "LastAccess"), Variant("00/00/00"));
    EXPECT_EQ(stored(entryKey("Office"), "TotalTime"), Variant("00:00:00"));
}

TEST_F(PropsTest, ClosingWithoutOkLeavesTheListAsItWas)
{
    openProperties("Office", [&](TfrmProps& dialog) {
        prompts.answers = { UserPrompts::IDYES };
        dialog.btnclTAT->click();
        dialog.close();
    });
    EXPECT_EQ(stored(entryKey("Office"), "TotalTime"), Variant("00:00:00"));
    EXPECT_EQ(shown("Office"), QStringList({ "12", "05/06/07 - 08:09:10", "00:10:00", "05:00:00" }));
    EXPECT_EQ(shown("Home"), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));
}

TEST_F(PropsTest, OkClosesTheDialogEvenWhenTheRefreshAfterItFails)
{
    TfrmProps dialog(window.get(), *window->reg, [] { throw ERegFileError(QStringLiteral("Reg Error: 00000057")); });
    dialog.show();
    dialog.Button1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Reg Error: 00000057");
}
