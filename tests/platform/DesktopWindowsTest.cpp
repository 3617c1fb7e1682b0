// Top-level windows of other programs on the test display (with its window
// manager) and on a bare X server without one.
#include "platform/linux/XcbDesktopWindows.h"
#include "support/DesktopHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::XcbDesktopWindows;
using vorn::test::MessageWindow;
using vorn::test::uniqueTitle;
using vorn::test::waitForWindow;
using vorn::test::xtool;
using Wait = vorn::DesktopWindows::Wait;

namespace
{

class DesktopWindowsTest : public ::testing::Test
{
protected:
    XcbDesktopWindows desktop;
    QString title;
    std::unique_ptr<MessageWindow> message;

    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }

    // Shows a window of another program and waits until it is listed as shown.
    std::optional<vorn::DesktopWindows::Window> showWindow(const QString& name)
    {
        title = uniqueTitle(name);
        message = std::make_unique<MessageWindow>(title);
        return waitForWindow(desktop, title, true);
    }
};

TEST_F(DesktopWindowsTest, NetWmNameWinsAndARenameWakesTheWaiter)
{
    const auto window = showWindow(QStringLiteral("Old name"));
    ASSERT_TRUE(window);

    const QString unicodeTitle = uniqueTitle(QStringLiteral("Grüße ✓"));
    // The rename, not an event from before it, must wake the waiter.
    while (desktop.waitForChange(0ms, {}) == Wait::Changed) { }
    ASSERT_TRUE(xtool(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(window->id), QStringLiteral("-f"), QStringLiteral("_NET_WM_NAME"),
            QStringLiteral("8u"), QStringLiteral("-set"), QStringLiteral("_NET_WM_NAME"), unicodeTitle }));
    EXPECT_EQ(desktop.waitForChange(5s, {}), Wait::Changed);
    const auto renamed = waitForWindow(desktop, unicodeTitle, true);
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->id, window->id);
}

TEST_F(DesktopWindowsTest, HideWithdrawsAnotherProgramsWindow)
{
    const auto window = showWindow(QStringLiteral("To hide"));
    ASSERT_TRUE(window);
    const auto id = window->id;
    // Listed is the program's own window, the one the window manager manages, not its frame.
    ASSERT_TRUE(vorn::test::waitUntil([&] { return vorn::test::managedByWindowManager(id); }, 5s));
    {
        XcbDesktopWindows hider;
        EXPECT_TRUE(hider.hide(id));
        // Disconnecting right away must not lose the request.
    }
    EXPECT_TRUE(waitForWindow(desktop, title, false));
    EXPECT_TRUE(vorn::test::waitUntil([&] { return !vorn::test::managedByWindowManager(id); }, 5s))
        << "the window manager forgets it";
    EXPECT_TRUE(message->running());
    EXPECT_FALSE(desktop.hide(id + 0x7fff)) << "no such window";

    // Mapped again it is shown; minimized it still counts as shown.
    for (const char* command : { "windowmap", "windowminimize" }) {
        ASSERT_TRUE(xtool(QStringLiteral("xdotool"),
            { QString::fromLatin1(command), QStringLiteral("--sync"), QString::number(id) }));
        const auto shown = waitForWindow(desktop, title, true);
        ASSERT_TRUE(shown) << command;
        EXPECT_EQ(shown->id, id);
    }
}

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

TEST_F(DesktopWindowsTest, ABareServerIsWatchedAndAnAbsentOrLostDisplayIsReported)
{
    vorn::test::PrivateDisplay display;
    ASSERT_TRUE(display.ok());
    // Connected first: the server resets when its last client leaves.
    XcbDesktopWindows bare(display.name().toLatin1());
    ASSERT_TRUE(bare.topLevelWindows());
    // No such display, or no such screen on it: reported once, and answers as gone.
    for (const QString& name : { QStringLiteral(":4711"), display.name() + QStringLiteral(".1") }) {
        SCOPED_TRACE(name.toStdString());
        warnings.clear();
        const auto previous = qInstallMessageHandler(collectWarnings);
        XcbDesktopWindows absent(name.toLatin1());
        qInstallMessageHandler(previous);
        EXPECT_FALSE(absent.topLevelWindows());
        EXPECT_FALSE(absent.hide(1));
        EXPECT_EQ(absent.waitForChange(10s, {}), Wait::Broken);
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings.front().contains(name)) << warnings.front().toStdString();
    }

    // Without a window manager: nothing happens and the wait runs to its
    // timeout, until a window is mapped.
    EXPECT_EQ(bare.waitForChange(200ms, {}), Wait::Quiet);
    title = uniqueTitle(QStringLiteral("Bare"));
    const MessageWindow bareMessage(title, display.name());
    EXPECT_EQ(bare.waitForChange(10s, {}), Wait::Changed);
    EXPECT_TRUE(waitForWindow(bare, title, true));

    // A display that goes away is reported, never waited for.
    display.stop();
    EXPECT_EQ(bare.waitForChange(10s, {}), Wait::Broken);
}

} // namespace
