// The round push button: hit test, press and release rules.
#include "app/RndSpeed.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace
{

const QPoint centre { 12, 12 };
const QPoint corner { 1, 1 }; // inside the rectangle, outside the ellipse

class RndSpeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto record = [this](const char* event) {
            return [this, event](QObject* sender, auto...) {
                EXPECT_EQ(sender, &button);
                events.append(QString::fromLatin1(event));
            };
        };
        button.OnClick = record("click");
        button.OnDblClick = record("dblclick");
        button.OnMouseDown = record("down");
        button.OnMouseUp = record("up");
        button.show();
    }
    void press(QPoint at, Qt::MouseButton which = Qt::LeftButton) { QTest::mousePress(&button, which, {}, at); }
    void release(QPoint at, Qt::MouseButton which = Qt::LeftButton) { QTest::mouseRelease(&button, which, {}, at); }

    TRndSpeedButton button;
    QStringList events;
};

} // namespace

TEST_F(RndSpeedTest, OnlyPressAndReleaseInsideTheEllipseClick)
{
    struct Case {
        QPoint pressAt, releaseAt;
        Qt::MouseButton which;
        bool pressedFace;
        QStringList events;
    };
    const Case cases[] = {
        { centre, centre, Qt::LeftButton, true, { "down", "up", "click" } },
        { centre, centre, Qt::RightButton, true, { "down", "up", "click" } },
        { centre, centre, Qt::MiddleButton, true, { "down", "up", "click" } },
        { corner, corner, Qt::LeftButton, false, {} },
        { centre, corner, Qt::LeftButton, true, { "down" } },
        { corner, centre, Qt::LeftButton, false, { "up" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(events.join(' ').toStdString());
        events.clear();
        press(c.pressAt, c.which);
        EXPECT_EQ(button.IsUp, !c.pressedFace);
        release(c.releaseAt, c.which);
        EXPECT_TRUE(button.IsUp); // every release raises the face
        EXPECT_EQ(events, c.events);
    }
}

TEST_F(RndSpeedTest, DoubleClickRaisesBothClicksAndTheDoubleClick)
{
    // The second press of a double click arrives as the double-click event.
    auto doubleClick = [this](QPoint at) {
        press(at);
        release(at);
        QMouseEvent second(QEvent::MouseButtonDblClick, at, button.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(&button, &second);
        release(at);
    };
    doubleClick(centre);
    EXPECT_EQ(events, QStringList({ "down", "up", "click", "dblclick", "down", "up", "click" }));
    events.clear();
    doubleClick(corner);
    EXPECT_TRUE(events.isEmpty());
}
