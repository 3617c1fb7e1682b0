// The round push button: hit test, press and release rules, painting.
#include "shell/RndSpeed.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace
{

class RndSpeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        button.OnClick = [this](QObject* sender) { record("click", sender); };
        button.OnDblClick = [this](QObject* sender) { record("dblclick", sender); };
        button.OnMouseDown
            = [this](QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { record("down", sender); };
        button.OnMouseUp
            = [this](QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { record("up", sender); };
        button.show();
    }
    void record(const char* event, QObject* sender)
    {
        EXPECT_EQ(sender, &button);
        events.append(QString::fromLatin1(event));
    }
    void press(QPoint at, Qt::MouseButton which = Qt::LeftButton) { QTest::mousePress(&button, which, {}, at); }
    void release(QPoint at, Qt::MouseButton which = Qt::LeftButton) { QTest::mouseRelease(&button, which, {}, at); }

    TRndSpeedButton button;
    QStringList events;
    const QPoint centre { 12, 12 };
    const QPoint corner { 1, 1 };
};

// A 25 x 25 glyph in the transparent colour magenta with one blue pixel at (6, 6).
QImage markedGlyph()
{
    QImage glyph(25, 25, QImage::Format_RGB32);
    glyph.fill(Qt::magenta);
    glyph.setPixelColor(6, 6, Qt::blue);
    return glyph;
}

} // namespace

TEST_F(RndSpeedTest, StartsRaisedAt25By25)
{
    EXPECT_TRUE(button.IsUp);
    EXPECT_EQ(button.size(), QSize(25, 25));
    EXPECT_TRUE(button.InsideEllipse(12, 12));
    EXPECT_FALSE(button.InsideEllipse(0, 0));
    EXPECT_FALSE(button.InsideEllipse(24, 24));
}

TEST_F(RndSpeedTest, PressOutsideTheEllipseDoesNothing)
{
    press(corner);
    EXPECT_TRUE(button.IsUp);
    release(corner);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(RndSpeedTest, PressAndReleaseInsideClick)
{
    press(centre);
    EXPECT_FALSE(button.IsUp);
    release(centre);
    EXPECT_TRUE(button.IsUp);
    EXPECT_EQ(events, QStringList({ "down", "up", "click" }));
}

TEST_F(RndSpeedTest, ReleaseOutsideRaisesTheFaceWithoutEvents)
{
    press(centre);
    events.clear();
    release(corner);
    EXPECT_TRUE(button.IsUp);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(RndSpeedTest, PressOutsideThenReleaseInsideIsNoClick)
{
    press(corner);
    release(centre);
    EXPECT_EQ(events, QStringList({ "up" }));
}

TEST_F(RndSpeedTest, RightAndMiddleButtonsClickToo)
{
    for (Qt::MouseButton which : { Qt::RightButton, Qt::MiddleButton }) {
        events.clear();
        press(centre, which);
        release(centre, which);
        EXPECT_EQ(events, QStringList({ "down", "up", "click" }));
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

TEST_F(RndSpeedTest, GlyphSitsTwoPixelsOffCentreAndOneMoreWhenPressed)
{
    button.SetColor(Qt::yellow);
    button.SetGlyph(markedGlyph());
    QImage raised = button.grab().toImage();
    EXPECT_EQ(raised.pixelColor(8, 8), QColor(Qt::blue));
    EXPECT_NE(raised.pixelColor(9, 9), QColor(Qt::blue));
    // Pixels of the glyph's top-left colour show the face.
    EXPECT_EQ(raised.pixelColor(12, 12), QColor(Qt::yellow));
    EXPECT_EQ(raised.pixelColor(8, 16), QColor(Qt::yellow));

    press(centre);
    QImage pressed = button.grab().toImage();
    EXPECT_EQ(pressed.pixelColor(9, 9), QColor(Qt::blue));
    EXPECT_NE(pressed.pixelColor(8, 8), QColor(Qt::blue));
    release(centre);
}

TEST_F(RndSpeedTest, SmallerGlyphIsPaddedWithItsTransparentColour)
{
    button.SetColor(Qt::yellow);
    QImage small(5, 5, QImage::Format_RGB32);
    small.fill(Qt::magenta);
    small.setPixelColor(4, 4, Qt::red);
    button.SetGlyph(small);
    EXPECT_EQ(button.Glyph().size(), QSize(25, 25));
    const QImage shown = button.grab().toImage();
    EXPECT_EQ(shown.pixelColor(6, 6), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(14, 14), QColor(Qt::yellow));
}
