// Top-level windows of other programs on the test display (with its window
// manager) and on a bare X server without one.
#include "DesktopHelpers.h"
#include "platform/linux/XcbDesktopWindows.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using vorn::XcbDesktopWindows;
using vorn::test::runProgram;
using vorn::test::MessageWindow;
using vorn::test::uniqueTitle;
using vorn::test::waitForWindow;
using vorn::test::xtool;
using Wait = vorn::DesktopWindows::Wait;

namespace {

QString hexId(vorn::DesktopWindows::WindowId id)
{
    return QStringLiteral("0x%1").arg(id, 0, 16);
}

QString decimalId(vorn::DesktopWindows::WindowId id)
{
    return QString::number(id);
}

// Whether the window manager lists the window among the ones it manages.
bool managed(vorn::DesktopWindows::WindowId id)
{
    const auto clients = runProgram(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    return QString::fromLatin1(clients.out).contains(hexId(id));
}

class DesktopWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }
};

TEST_F(DesktopWindowsTest, ListsTheProgramWindowInsideTheManagersFrame)
{
    XcbDesktopWindows desktop;
    const QString title = uniqueTitle(QStringLiteral("Probe"));
    const MessageWindow message(title);
    const auto window = waitForWindow(desktop, title, true);
    ASSERT_TRUE(window);
    // The program's own window, not the frame: the one that carries the name.
    const auto search = runProgram(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                                  QStringLiteral("^%1$").arg(title)});
    EXPECT_EQ(search.out.trimmed(), decimalId(window->id).toLatin1());
    EXPECT_TRUE(managed(window->id));
}

TEST_F(DesktopWindowsTest, NetWmNameWinsAndARenameWakesTheWaiter)
{
    XcbDesktopWindows desktop;
    const QString title = uniqueTitle(QStringLiteral("Old name"));
    const MessageWindow message(title);
    const auto window = waitForWindow(desktop, title, true);
    ASSERT_TRUE(window);

    const QString unicodeTitle = uniqueTitle(QStringLiteral("Grüße ✓"));
    ASSERT_TRUE(xtool(QStringLiteral("xprop"), {QStringLiteral("-id"), hexId(window->id), QStringLiteral("-f"),
                                                  QStringLiteral("_NET_WM_NAME"), QStringLiteral("8u"),
                                                  QStringLiteral("-set"), QStringLiteral("_NET_WM_NAME"), unicodeTitle}));
    // Other tests may stir the display too; the rename must be among the wake-ups.
    bool renamed = false;
    for (int i = 0; i < 20 && !renamed; ++i) {
        if (desktop.waitForChange(5s, {}) != Wait::Changed)
            break;
        const auto listed = vorn::test::findWindow(desktop, unicodeTitle);
        renamed = listed && listed->id == window->id;
    }
    EXPECT_TRUE(renamed);
}

TEST_F(DesktopWindowsTest, UnmappedIsHiddenAndMinimizedIsShown)
{
    XcbDesktopWindows desktop;
    const QString title = uniqueTitle(QStringLiteral("Visibility"));
    const MessageWindow message(title);
    const auto window = waitForWindow(desktop, title, true);
    ASSERT_TRUE(window);
    const QString id = decimalId(window->id);

    ASSERT_TRUE(xtool(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), QStringLiteral("--sync"), id}));
    EXPECT_TRUE(waitForWindow(desktop, title, false));
    ASSERT_TRUE(xtool(QStringLiteral("xdotool"), {QStringLiteral("windowmap"), QStringLiteral("--sync"), id}));
    EXPECT_TRUE(waitForWindow(desktop, title, true));
    ASSERT_TRUE(xtool(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), QStringLiteral("--sync"), id}));
    const auto minimized = waitForWindow(desktop, title, true);
    ASSERT_TRUE(minimized);
    EXPECT_EQ(minimized->id, window->id);
}

TEST_F(DesktopWindowsTest, HideWithdrawsAnotherProgramsWindow)
{
    const QString title = uniqueTitle(QStringLiteral("To hide"));
    const MessageWindow message(title);
    vorn::DesktopWindows::WindowId id = 0;
    {
        XcbDesktopWindows desktop;
        const auto window = waitForWindow(desktop, title, true);
        ASSERT_TRUE(window);
        id = window->id;
        ASSERT_TRUE(vorn::test::waitUntil([&] { return managed(id); }, 5s));
        EXPECT_TRUE(desktop.hide(id));
        // Disconnecting right away must not lose the request.
    }
    XcbDesktopWindows observer;
    EXPECT_TRUE(waitForWindow(observer, title, false));
    EXPECT_TRUE(vorn::test::waitUntil([&] { return !managed(id); }, 5s)) << "the window manager forgets it";
    EXPECT_TRUE(message.running());

    XcbDesktopWindows desktop;
    EXPECT_FALSE(desktop.hide(id + 0x7fff)) << "no such window";
}

TEST_F(DesktopWindowsTest, WithoutWindowManager)
{
    vorn::test::PrivateDisplay display;
    ASSERT_TRUE(display.ok());
    XcbDesktopWindows desktop(display.name().toLatin1());
    ASSERT_TRUE(desktop.topLevelWindows());

    // Nothing happens: the wait runs to its timeout, or ends at a stop request.
    EXPECT_EQ(desktop.waitForChange(200ms, {}), Wait::Quiet);
    std::stop_source stop;
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(desktop.waitForChange(30s, stop.get_token()), Wait::Quiet);
    EXPECT_LT(timer.elapsed(), 10000);
    stopper.join();

    const QString title = uniqueTitle(QStringLiteral("Bare"));
    const MessageWindow message(title, display.name());
    EXPECT_EQ(desktop.waitForChange(10s, {}), Wait::Changed);
    const auto window = waitForWindow(desktop, title, true);
    ASSERT_TRUE(window);
    EXPECT_TRUE(desktop.hide(window->id));
    EXPECT_TRUE(waitForWindow(desktop, title, false));

    // A display that goes away is reported, never waited for.
    display.stop();
    EXPECT_EQ(desktop.waitForChange(10s, {}), Wait::Broken);
    EXPECT_FALSE(desktop.topLevelWindows());
    EXPECT_FALSE(desktop.hide(window->id));
}

TEST_F(DesktopWindowsTest, NoDisplayIsReportedAsGone)
{
    XcbDesktopWindows desktop(":4711");
    EXPECT_FALSE(desktop.topLevelWindows());
    EXPECT_EQ(desktop.waitForChange(10s, {}), Wait::Broken);
}

} // namespace
