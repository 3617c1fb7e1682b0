// The round push button: hit test, press and release rules.
#include "shell/RndSpeed.h"

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
    TRndSpeedButton button;
    QStringList events;
};

} // namespace

// Only a press and a release inside the ellipse click, with any button; the
// second press of a double click arrives as the double-click event.
TEST_F(RndSpeedTest, OnlyPressAndReleaseInsideTheEllipseClick)
{
    const struct {
        QPoint pressAt, releaseAt;
        Qt::MouseButton which;
        bool doubleClick;
        QStringList events;
    } cases[] = {
        { centre, centre, Qt::LeftButton, false, { "down", "up", "click" } },
        { centre, centre, Qt::RightButton, false, { "down", "up", "click" } },
        { centre, centre, Qt::MiddleButton, false, { "down", "up", "click" } },
        { corner, corner, Qt::LeftButton, false, {} },
        { centre, corner, Qt::LeftButton, false, { "down" } },
        { corner, centre, Qt::LeftButton, false, { "up" } },
        { centre, centre, Qt::LeftButton, true, { "down", "up", "click", "dblclick", "down", "up", "click" } },
        { corner, corner, Qt::LeftButton, true, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events.join(' ').toStdString());
        events.clear();
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
        EXPECT_EQ(events, c.events);
    }
}
