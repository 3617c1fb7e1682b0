// The entry list, its menus and the preferences stored from the wizard's pages.
#include "WizardFixture.h"
#include "settings/Statistics.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QtTest/QTest>

using namespace vorn;
using namespace vorn::test;

namespace
{

class EntryListTest : public WizardTest
{
protected:
    TfrmSelect& startWith(const QByteArrayList& entries)
    {
        ras->entryNames = entries;
        TfrmSelect& w = start();
        w.show();
        return w;
    }
    QPoint rowCentre(const QString& caption) const
    {
        QAbstractItemView* view = window->ConList->currentView();
        return view->visualRect(view->model()->index(rowOf(caption), 0)).center();
    }
    void releaseOver(Qt::MouseButton button, const QPoint& inViewport)
    {
        QTest::mouseClick(window->ConList->currentView()->viewport(), button, {}, inViewport);
    }
    QList<QAction*> ticked() const
    {
        QList<QAction*> result;
        for (QAction* action : { window->LArgeIcons1, window->Small1, window->List1, window->Details1 }) {
            if (action->isChecked())
                result.append(action);
        }
        return result;
    }
};

} // namespace

TEST_F(EntryListTest, SelectedEntriesAreSortedWithoutRegardToCaseAndHeldOnce)
{
    TfrmSelect& w = startWith({ "C", "a", "B", "Office", "office" });
    for (const char* name : { "B", "a", "C" })
        w.ConList->setSelected(rowOf(name), true);
    EXPECT_EQ(w.SelectedEntries.items(), QStringList({ "a", "B", "C" }));
    w.ConList->setSelected(rowOf("B"), false);
    EXPECT_EQ(w.SelectedEntries.items(), QStringList({ "a", "C" }));

    // Two rows whose names differ only in case give one name.
    w.ConList->setSelected(rowOf("Office"), true);
    w.ConList->setSelected(rowOf("office"), true);
    EXPECT_EQ(w.SelectedEntries.count(), 3);
}

// Whichever view is chosen, its menu item alone is ticked and the entries stay listed.
TEST_F(EntryListTest, ViewStylesTickOneMenuItem)
{
    TfrmSelect& w = startWith({ "Home", "Office" });
    w.btnNext->click();
    EXPECT_EQ(ticked(), QList<QAction*>({ w.LArgeIcons1 }));
    for (QAction* style : { w.Details1, w.Small1, w.List1, w.LArgeIcons1 }) {
        style->trigger();
        EXPECT_EQ(ticked(), QList<QAction*>({ style }));
        EXPECT_TRUE(w.ConList->currentView()->isVisible());
        EXPECT_EQ(w.ConList->currentView()->model()->rowCount(), 2);
    }
}

TEST_F(EntryListTest, SecondaryButtonOpensTheEntryMenuOverARowAndTheViewMenuElsewhere)
{
    TfrmSelect& w = startWith({ "Home", "Office" });
    w.Details1->trigger();

    releaseOver(Qt::LeftButton, rowCentre("Office"));
    EXPECT_FALSE(w.pmEntry->isVisible());
    EXPECT_FALSE(w.pm->isVisible());

    releaseOver(Qt::RightButton, rowCentre("Office"));
    EXPECT_TRUE(w.pmEntry->isVisible());
    EXPECT_FALSE(w.pm->isVisible());
    EXPECT_EQ(w.PopupEntry, rowOf("Office"));
    w.pmEntry->close();

    releaseOver(Qt::RightButton, QPoint(200, 150));
    EXPECT_TRUE(w.pm->isVisible());
    EXPECT_FALSE(w.pmEntry->isVisible());
    EXPECT_EQ(w.PopupEntry, rowOf("Office"));
    w.pm->close();
}

TEST_F(EntryListTest, RowCaptionsCannotBeEditedInPlace)
{
    TfrmSelect& w = startWith({ "Office" });
    for (auto style : { w.LArgeIcons1, w.Details1 }) {
        style->trigger();
        QAbstractItemView* view = w.ConList->currentView();
        view->setCurrentIndex(view->model()->index(0, 0));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre("Office"));
        QTest::keyClick(view, Qt::Key_F2);
        QTest::keyClicks(view, "Renamed");
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_EQ(w.ConList->caption(0), "Office");
    }
}

TEST_F(EntryListTest, BrowseStoresTheChosenTuneAndCancelChangesNothing)
{
    TfrmSelect& w = startWith({});
    w.edTune->setText("before.wav");
    registry->writes.clear();
    w.btnBrowse->click();
    EXPECT_EQ(w.edTune->text(), "before.wav");
    EXPECT_TRUE(registry->writes.empty());
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].filter, "Wave files (*.wav)");
    EXPECT_EQ(prompts.fileRequests[0].defaultSuffix, "wav");

    prompts.fileToChoose = "/sounds/ring.wav";
    w.btnBrowse->click();
    EXPECT_EQ(w.edTune->text(), "/sounds/ring.wav");
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant("/sounds/ring.wav"));
}

TEST_F(EntryListTest, LeavingTheTuneBoxStoresItsTextEvenEmpty)
{
    store(stats::ProgramKey, "Tune", Variant("old.wav"));
    TfrmSelect& w = startWith({});
    w.Notebook1->setCurrentIndex(2);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.edTune->setFocus();
    w.edTune->clear();
    w.btnBrowse->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(stored(stats::ProgramKey, "Tune"), Variant(""));
    // "PlayTune" is the page buttons' business.
    EXPECT_EQ(stored(stats::ProgramKey, "PlayTune"), Variant(qint32(0)));
}
