// The wizard's page state machine and its button bar.
#include "WizardFixture.h"
#include "app/about.h"
#include "app/props.h"
#include "settings/Statistics.h"

#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>

using namespace vorn;
using namespace vorn::test;

namespace
{

// The page's caption and whether Back and Next are enabled.
struct PageState {
    int page;
    const char* caption;
    bool back;
    bool next;
};

void expectPage(const TfrmSelect& w, const PageState& s)
{
    SCOPED_TRACE(s.caption);
    EXPECT_EQ(w.Notebook1->currentIndex(), s.page);
    EXPECT_EQ(w.windowTitle(), s.caption);
    EXPECT_EQ(w.btnPrev->isEnabled(), s.back);
    EXPECT_EQ(w.btnNext->isEnabled(), s.next);
}

// Every shown button lies whole inside the window, clear of the pages and of the others.
void expectButtonsInside(const TfrmSelect& w)
{
    const QRect window = w.rect();
    QList<QRect> taken { QRect(w.Notebook1->mapTo(&w, QPoint()), w.Notebook1->size()) };
    for (const QWidget* button : { static_cast<QWidget*>(w.rdbAbout), static_cast<QWidget*>(w.btnPrev),
             static_cast<QWidget*>(w.btnNext), static_cast<QWidget*>(w.btnClose) }) {
        if (button->isHidden())
            continue;
        const QRect place(button->mapTo(&w, QPoint()), button->size());
        EXPECT_TRUE(window.contains(place)) << button->objectName().toStdString();
        for (const QRect& other : taken)
            EXPECT_FALSE(place.intersects(other)) << button->objectName().toStdString();
        taken.append(place);
    }
}

const PageState Welcome { 0, "VORN95 Wizard - Welcome (0 of 3)", false, true };
const PageState Select { 1, "VORN95 Wizard - Entry Selection (1 of 3)", true, true };
const PageState Tune { 2, "VORN95 Wizard - Tune (2 of 3)", true, true };
const PageState Confirm { 3, "VORN95 Wizard - Confirmation (3 of 3)", true, true };
const PageState Dialing { 4, "VORN95 Wizard - Dialing", false, false };

class PagesTest : public WizardTest
{
protected:
    TfrmSelect& startWith(const QByteArrayList& entries)
    {
        ras->entryNames = entries;
        return start();
    }
    void select(const QString& caption, bool selected = true)
    {
        window->ConList->setSelected(rowOf(caption), selected);
    }
    QStringList confirmed() const
    {
        QStringList items;
        for (int i = 0; i < window->lbEntries->count(); ++i)
            items.append(window->lbEntries->item(i)->text());
        return items;
    }
    qint32 playTune() { return stored(stats::ProgramKey, "PlayTune").toInt(); }
};

} // namespace

TEST_F(PagesTest, EveryTransitionSetsCaptionAndButtonsAndKeepsTheLayoutWhole)
{
    TfrmSelect& w = startWith({ "Office", "Home" });
    w.show();
    select("Home");
    const QSize full = w.size();
    for (const PageState& page : { Select, Tune, Confirm }) {
        w.btnNext->click();
        expectPage(w, page);
        expectButtonsInside(w);
    }
    for (const PageState& page : { Tune, Select, Welcome }) {
        w.btnPrev->click();
        expectPage(w, page);
    }

    for (int i = 0; i < 3; ++i)
        w.btnNext->click();
    // The dialing page dials until stopped: looked at, then aborted.
    QTimer::singleShot(50, &w, [&] {
        expectPage(w, Dialing);
        w.btnAbort->click();
    });
    w.btnNext->click();
    expectPage(w, Select);

    // The connected page: a smaller window without Back and Next, still whole.
    w.Notebook1->setCurrentIndex(TfrmSelect::pgStatIndex);
    EXPECT_EQ(w.windowTitle(), "VORN95 Wizard - Info");
    EXPECT_LT(w.width(), full.width());
    EXPECT_TRUE(w.btnPrev->isHidden() && w.btnNext->isHidden());
    expectButtonsInside(w);
    // Leaving it restores the full window.
    w.Notebook1->setCurrentIndex(0);
    expectPage(w, Welcome);
    EXPECT_EQ(w.size(), full);
    expectButtonsInside(w);
}

TEST_F(PagesTest, NextWithNothingSelectedBeepsAndStays)
{
    TfrmSelect& w = startWith({ "Office" });
    w.btnNext->click();
    prompts.messages.clear();
    w.btnNext->click();
    EXPECT_EQ(prompts.beeps, 1);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "At least one entry must be selected!");
    EXPECT_EQ(prompts.messages[0].title, "Error");
    EXPECT_EQ(w.Notebook1->currentIndex(), 1);
}

TEST_F(PagesTest, LeavingTheTunePageStoresPlayTuneBothWays)
{
    store(stats::ProgramKey, "Tune", Variant("old.wav"));
    TfrmSelect& w = startWith({ "Office" });
    select("Office");
    w.btnNext->click();
    w.btnNext->click();
    EXPECT_EQ(w.edTune->text(), "old.wav");

    // Any text counts, whether or not such a file exists.
    w.btnNext->click();
    EXPECT_EQ(playTune(), 1);
    w.btnPrev->click();
    w.edTune->clear();
    w.btnNext->click();
    EXPECT_EQ(playTune(), 0);
    w.btnPrev->click();
    w.edTune->setText("missing.wav");
    w.btnPrev->click();
    EXPECT_EQ(playTune(), 1);
    // "Tune" is left to the edit box's own handlers.
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant("old.wav"));
}

TEST_F(PagesTest, ConfirmationListsTheCurrentSelectionSorted)
{
    TfrmSelect& w = startWith({ "Office", "backup", "Home" });
    select("Office");
    select("backup");
    w.btnNext->click();
    w.btnNext->click();
    w.btnNext->click();
    EXPECT_EQ(confirmed(), QStringList({ "backup", "Office" }));

    w.btnPrev->click();
    w.btnPrev->click();
    select("backup", false);
    select("Home");
    w.btnNext->click();
    w.btnNext->click();
    EXPECT_EQ(confirmed(), QStringList({ "Home", "Office" }));
}

TEST_F(PagesTest, RoundButtonOpensTheAboutBoxWithoutStoppingTheWindow)
{
    TfrmSelect& w = startWith({});
    w.show();
    // Should the box run a loop of its own, this ends it.
    QTimer::singleShot(300, [] {
        if (auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget()))
            box->close();
    });
    QTest::mouseClick(w.rdbAbout, Qt::LeftButton, {}, QPoint(12, 12));
    auto* box = w.findChild<TAboutBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible()) << "the click returned while the box is open";
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->windowTitle(), "About");
    box->OKButton->click();
    EXPECT_FALSE(box->isVisible());
}

TEST_F(PagesTest, TextsAreSpelledRight)
{
    TfrmSelect& w = startWith({});
    EXPECT_EQ(w.Label5->text(), "Select one or more entries to dial below:");
    TfrmProps props(&w, *w.reg, {});
    EXPECT_EQ(props.Label4->text(), "Total Access Time:");
}

// Without the welcome page there is no way back from the selection page until
// the list's menu or the check box turns it on; each stores "ShowWelcome".
TEST_F(PagesTest, TheWelcomePageCanBeTurnedBackOnFromTheListMenu)
{
    store(stats::ProgramKey, "ShowWelcome", Variant(qint32(0)));
    TfrmSelect& w = startWith({ "Office" });
    select("Office");
    w.btnNext->click();
    w.btnPrev->click();
    expectPage(w, { 1, Select.caption, false, true });
    EXPECT_FALSE(w.ShowWelcome1->isChecked());
    w.ShowWelcome1->trigger();
    EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome").toInt(), 1);
    EXPECT_TRUE(w.cbShowWelcome->isChecked());
    EXPECT_TRUE(w.btnPrev->isEnabled());
    w.btnPrev->click();
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
    w.cbShowWelcome->click();
    EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome").toInt(), 0);
}
