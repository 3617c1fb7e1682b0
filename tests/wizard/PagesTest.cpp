// The wizard's pages, their button bar and round button, the entry list and
// its menus, and the preferences stored from the pages.
#include "WizardFixture.h"
#include "app/RndSpeed.h"
#include "app/about.h"
#include "settings/Statistics.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest/QTest>

using namespace vorn;
using namespace vorn::test;

namespace
{

struct PageState {
    int page;
    bool back;
    bool next;
};

void expectPage(const TfrmSelect& w, const PageState& s)
{
    SCOPED_TRACE(s.page);
    EXPECT_EQ(w.Notebook1->currentIndex(), s.page);
    EXPECT_EQ(w.btnPrev->isEnabled(), s.back);
    EXPECT_EQ(w.btnNext->isEnabled(), s.next);
}

// Every shown button lies whole inside the window, clear of the pages and of the others.
void expectButtonsInside(const TfrmSelect& w)
{
    QList<QRect> taken { QRect(w.Notebook1->mapTo(&w, QPoint()), w.Notebook1->size()) };
    for (const QWidget* button :
        std::initializer_list<const QWidget*> { w.rdbAbout, w.btnPrev, w.btnNext, w.btnClose }) {
        if (button->isHidden())
            continue;
        const QRect place(button->mapTo(&w, QPoint()), button->size());
        EXPECT_TRUE(w.rect().contains(place)) << button->objectName().toStdString();
        for (const QRect& other : taken)
            EXPECT_FALSE(place.intersects(other)) << button->objectName().toStdString();
        taken.append(place);
    }
}

const PageState Welcome { 0, false, true };
const PageState Select { 1, true, true };
const PageState Tune { 2, true, true };
const PageState Confirm { 3, true, true };
const PageState Dialing { 4, false, false };

class PagesTest : public WizardTest
{
protected:
    QStringList confirmed() const
    {
        QStringList items;
        for (int i = 0; i < window->lbEntries->count(); ++i)
            items.append(window->lbEntries->item(i)->text());
        return items;
    }
    qint32 playTune() { return stored(stats::ProgramKey, "PlayTune").toInt(); }
    QPoint rowCentre(const QString& caption) const
    {
        QAbstractItemView* view = window->ConList->currentView();
        return view->visualRect(view->model()->index(rowOf(caption), 0)).center();
    }
};

const QPoint centre { 12, 12 };
const QPoint corner { 1, 1 }; // inside the rectangle, outside the ellipse

} // namespace

// The confirmation page lists the selection as it is when shown, sorted without
// regard to case, names differing only in case once.
TEST_F(PagesTest, EveryTransitionSetsTheButtonsAndKeepsTheLayoutWhole)
{
    TfrmSelect& w = startWith({ "Office", "Home", "office", "a" });
    const QSize full = w.size();
    next(2); // nothing selected: a beep and a word, and the page stays
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.messages.size(), 1);
    expectPage(w, Select);
    select("Home");
    select("a");
    for (const PageState& page : { Tune, Confirm }) {
        w.btnNext->click();
        expectPage(w, page);
    }
    EXPECT_EQ(confirmed(), QStringList({ "a", "Home" }));
    for (const PageState& page : { Tune, Select, Welcome }) {
        w.btnPrev->click();
        expectPage(w, page);
    }
    EXPECT_EQ(w.Label5->text(), "Select one or more entries to dial below:");
    next(1);
    select("Home", false);
    select("Office");
    select("office");
    next(2);
    EXPECT_EQ(confirmed().join(',').toLower(), "a,office");

    // The dialing page dials until stopped: looked at, then aborted.
    QTimer::singleShot(50, &w, [&] {
        expectPage(w, Dialing);
        w.btnAbort->click();
    });
    w.btnNext->click();
    expectPage(w, Select);

    // The connected page: a smaller window without Back and Next, still whole.
    w.Notebook1->setCurrentIndex(TfrmSelect::pgStatIndex);
    EXPECT_LT(w.width(), full.width());
    EXPECT_TRUE(w.btnPrev->isHidden() && w.btnNext->isHidden());
    expectButtonsInside(w);
    // Leaving it restores the full window.
    w.Notebook1->setCurrentIndex(0);
    expectPage(w, Welcome);
    EXPECT_EQ(w.size(), full);
    expectButtonsInside(w);
}

// "PlayTune" is stored by the page buttons, whatever the text; "Tune" by the
// edit box when left, and by Browse unless cancelled.
TEST_F(PagesTest, TheTunePageStoresPlayTuneAndTune)
{
    store(stats::ProgramKey, "PlayTune", Variant(qint32(1)));
    store(stats::ProgramKey, "Tune", Variant("old.wav"));
    TfrmSelect& w = startWith({ "Office" });
    select("Office");
    next(2);
    EXPECT_EQ(w.edTune->text(), "old.wav");
    w.edTune->clear();
    w.btnPrev->click();
    EXPECT_EQ(playTune(), 0);
    w.btnNext->click();
    w.edTune->setText("missing.wav");
    w.btnNext->click();
    EXPECT_EQ(playTune(), 1);
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant("old.wav"));

    w.btnPrev->click();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.edTune->setFocus();
    w.edTune->clear();
    w.btnBrowse->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant(""));

    registry->writes.clear();
    w.btnBrowse->click();
    EXPECT_TRUE(registry->writes.empty()) << "cancelled";
    prompts.fileToChoose = "/sounds/ring.wav";
    w.btnBrowse->click();
    EXPECT_EQ(w.edTune->text(), "/sounds/ring.wav");
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant("/sounds/ring.wav"));
}

TEST_F(PagesTest, RoundButtonOpensTheAboutBoxWithoutStoppingTheWindow)
{
    TfrmSelect& w = startWith({});
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
}

// "ShowWelcome" other than 1 opens on the selection page, with no way back
// until the list's menu or the check box turns it on; each stores it.
TEST_F(PagesTest, TheWelcomePageCanBeTurnedBackOnFromTheListMenu)
{
    for (const qint32 value : { 2, -1, 0 }) {
        SCOPED_TRACE(value);
        store(stats::ProgramKey, "ShowWelcome", Variant(value));
        startWith({ "Office" });
        expectPage(*window, { 1, false, true });
        EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome"), Variant(value));
    }
    TfrmSelect& w = *window;
    select("Office");
    w.btnNext->click();
    w.btnPrev->click();
    expectPage(w, { 1, false, true });
    EXPECT_FALSE(w.ShowWelcome1->isChecked());
    w.ShowWelcome1->trigger();
    EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome").toInt(), 1);
    EXPECT_TRUE(w.cbShowWelcome->isChecked());
    w.btnPrev->click();
    expectPage(w, Welcome);
    w.cbShowWelcome->click();
    EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome").toInt(), 0);
}

// Whichever view is chosen, the entries stay listed, no caption can be edited in
// place, and the secondary button opens the entry menu over a row, the view menu elsewhere.
TEST_F(PagesTest, EveryViewStyleListsTheEntriesAndNoneEditsACaption)
{
    TfrmSelect& w = startWith({ "Home", "Office" });
    w.btnNext->click();
    for (QAction* style : { w.Small1, w.List1, w.LArgeIcons1, w.Details1 }) {
        SCOPED_TRACE(style->text().toStdString());
        style->trigger();
        QAbstractItemView* view = w.ConList->currentView();
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->model()->rowCount(), 2);
        view->setCurrentIndex(view->model()->index(1, 0));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre("Office"));
        QTest::keyClick(view, Qt::Key_F2);
        QTest::keyClicks(view, "Renamed");
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_EQ(w.ConList->caption(1), "Office");
        w.PopupEntry = -1;
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, rowCentre("Office"));
        EXPECT_TRUE(w.pmEntry->isVisible());
        EXPECT_EQ(w.PopupEntry, rowOf("Office"));
        w.pmEntry->close();
    }
    QTest::mouseClick(w.ConList->currentView()->viewport(), Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_TRUE(w.pm->isVisible());
    EXPECT_FALSE(w.pmEntry->isVisible());
    w.pm->close();
}

// Only a press and a release inside the ellipse click, with any button; the
// second press of a double click arrives as the double-click event and clicks too.
TEST(RndSpeedTest, OnlyPressAndReleaseInsideTheEllipseClick)
{
    TRndSpeedButton button;
    int clicks = 0;
    button.OnClick = [&](auto...) { ++clicks; };
    button.show();
    const struct {
        QPoint pressAt, releaseAt;
        Qt::MouseButton which;
        bool doubleClick;
        int clicks;
    } cases[] = { { centre, centre, Qt::LeftButton, false, 1 }, { centre, centre, Qt::MiddleButton, false, 1 },
        { corner, corner, Qt::LeftButton, false, 0 }, { centre, corner, Qt::LeftButton, false, 0 },
        { corner, centre, Qt::LeftButton, false, 0 }, { centre, centre, Qt::LeftButton, true, 2 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        clicks = 0;
        QTest::mousePress(&button, c.which, {}, c.pressAt);
        EXPECT_EQ(button.IsUp, c.pressAt != centre);
        QTest::mouseRelease(&button, c.which, {}, c.releaseAt);
        EXPECT_TRUE(button.IsUp); // every release raises the face
        if (c.doubleClick) {
            QMouseEvent second(
                QEvent::MouseButtonDblClick, c.pressAt, button.mapToGlobal(c.pressAt), c.which, c.which, {});
            QApplication::sendEvent(&button, &second);
            QTest::mouseRelease(&button, c.which, {}, c.releaseAt);
        }
        EXPECT_EQ(clicks, c.clicks);
    }
}
