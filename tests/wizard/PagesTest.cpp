// The wizard's page state machine and its button bar.
#include "WizardFixture.h"
#include "settings/Statistics.h"
#include "settings/props.h"
#include "shell/about.h"

#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>

#include <array>

using namespace vorn;
using namespace vorn::test;

namespace
{

struct PageState {
    int page;
    const char* caption;
    int outerWidth;
    int outerHeight;
    int picture; // page of nbWizImg; -1 when the picture panel is hidden
    bool back;
    bool next;
};

void expectPage(const TfrmSelect& w, const PageState& s)
{
    SCOPED_TRACE(s.caption);
    EXPECT_EQ(w.Notebook1->currentIndex(), s.page);
    EXPECT_EQ(w.windowTitle(), s.caption);
    EXPECT_EQ(w.outerWidth(), s.outerWidth);
    EXPECT_EQ(w.outerHeight(), s.outerHeight);
    EXPECT_EQ(w.size(), QSize(s.outerWidth - 8, s.outerHeight - 27));
    if (s.picture < 0) {
        EXPECT_TRUE(w.pnlBorder->isHidden());
    } else {
        EXPECT_FALSE(w.pnlBorder->isHidden());
        EXPECT_EQ(w.nbWizImg->currentIndex(), s.picture);
    }
    EXPECT_EQ(w.btnPrev->isEnabled(), s.back);
    EXPECT_EQ(w.btnNext->isEnabled(), s.next);
}

// Bevel width, lefts of the About, Back, Next and Close buttons, and the pages' place.
void expectLayout(const TfrmSelect& w, int bevel, std::array<int, 4> lefts, QRect pages)
{
    EXPECT_EQ(w.Bevel1->width(), bevel);
    EXPECT_EQ((std::array { w.rdbAbout->x(), w.btnPrev->x(), w.btnNext->x(), w.btnClose->x() }), lefts);
    EXPECT_EQ(w.Notebook1->geometry(), pages);
    EXPECT_EQ(w.pnlButtons->geometry(), QRect(0, pages.height(), w.width(), 55));
}

const PageState Welcome { 0, "VORN95 Wizard - Welcome (0 of 3)", 467, 322, 0, false, true };
const PageState Select { 1, "VORN95 Wizard - Entry Selection (1 of 3)", 467, 322, 0, true, true };
const PageState Tune { 2, "VORN95 Wizard - Tune (2 of 3)", 467, 322, 0, true, true };
const PageState Confirm { 3, "VORN95 Wizard - Confirmation (3 of 3)", 467, 322, 0, true, true };
const PageState Dialing { 4, "VORN95 Wizard - Dialing", 467, 322, 1, false, false };

class PagesTest : public WizardTest
{
protected:
    TfrmSelect& startWith(const QByteArrayList& entries)
    {
        ras->entries = entries;
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

TEST_F(PagesTest, EveryTransitionSetsCaptionSizePictureAndButtons)
{
    TfrmSelect& w = startWith({ "Office", "Home" });
    select("Home");

    w.btnNext->click();
    expectPage(w, Select);
    w.btnNext->click();
    expectPage(w, Tune);
    w.btnNext->click();
    expectPage(w, Confirm);
    w.btnPrev->click();
    expectPage(w, Tune);
    w.btnPrev->click();
    expectPage(w, Select);
    w.btnPrev->click();
    // Back on page 0 the caption names the page, unlike at start.
    expectPage(w, Welcome);

    for (int i = 0; i < 3; ++i)
        w.btnNext->click();
    // The dialing page dials until stopped: looked at, then aborted.
    QTimer::singleShot(50, &w, [&] {
        expectPage(w, Dialing);
        w.btnAbort->click();
    });
    w.btnNext->click();
    expectPage(w, Select);

    // The connected page: no picture, a smaller window, the button bar moved left.
    // (Back and Next keep their state from the selection page; they are hidden.)
    w.Notebook1->setCurrentIndex(5);
    expectPage(w, { 5, "VORN95 Wizard - Info", 338, 161, -1, true, true });
    EXPECT_TRUE(w.btnPrev->isHidden());
    EXPECT_TRUE(w.btnNext->isHidden());
    expectLayout(w, 318, { 7, 83, 160, 251 }, QRect(0, 0, 330, 79));

    // Leaving it restores the full window.
    w.Notebook1->setCurrentIndex(0);
    expectPage(w, Welcome);
    expectLayout(w, 447, { 136, 212, 289, 380 }, QRect(129, 0, 330, 240));
}

TEST_F(PagesTest, WithoutWelcomePageBackIsDisabledOnTheSelectionPage)
{
    store(stats::ProgramKey, "ShowWelcome", Variant(qint32(0)));
    TfrmSelect& w = startWith({ "Office" });
    select("Office");
    w.btnNext->click();
    w.btnPrev->click();
    expectPage(w, { 1, Select.caption, 467, 322, 0, false, true });
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
    EXPECT_EQ(prompts.messages[0].flags, unsigned(UserPrompts::MB_OK | UserPrompts::MB_ICONERROR));
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
    w.btnNext->click();
    w.edTune->clear();
    w.btnPrev->click();
    EXPECT_EQ(playTune(), 0);
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

TEST_F(PagesTest, CloseStopsDialingAndClosesTheWindow)
{
    TfrmSelect& w = startWith({});
    w.show();
    w.btnClose->click();
    EXPECT_TRUE(w.StopDialing);
    EXPECT_FALSE(w.isVisible());
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

TEST_F(PagesTest, TheWelcomePageCanBeTurnedBackOnFromTheListMenu)
{
    store(stats::ProgramKey, "ShowWelcome", Variant(qint32(0)));
    TfrmSelect& w = startWith({});
    ASSERT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_FALSE(w.ShowWelcome1->isChecked());
    w.ShowWelcome1->trigger();
    EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome").toInt(), 1);
    EXPECT_TRUE(w.cbShowWelcome->isChecked());
    EXPECT_TRUE(w.btnPrev->isEnabled());
    w.btnPrev->click();
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
}
