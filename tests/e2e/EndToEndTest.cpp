// The whole program on the test desktop: the real window clicked through X,
// the simulated dial-up service, the tray host and the sound server. Only
// what needs all of them together is checked here; the dialing loop's order,
// pauses, Skip and Abort are pinned by the wizard's own tests.
#include "app/WizardLog.h"
#include "demo/WizardDriver.h"
#include "settings/Statistics.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::demo::phonebookEntry;
using vorn::demo::WizardDriver;
using vorn::test::waitUntil;
namespace line = vorn::wizardlog;

namespace
{

const QLatin1String Connected(line::Connected);

QString thirdTick()
{
    return QLatin1String(line::Tick) + QStringLiteral(" 3 ");
}

// The entries dialed, in order, from the `after`th attempt on.
QStringList attempts(WizardDriver& wizard, qsizetype after = 0)
{
    QStringList names;
    for (const auto& attempt : wizard.log(QLatin1String(line::Attempt)).mid(after))
        names << attempt.text.section(QLatin1Char('"'), 1, 1);
    return names;
}

// Starts dialing `wizard` and waits until it connected and sits in the tray.
void connectIntoTray(WizardDriver& wizard, std::chrono::seconds timeout = 15s)
{
    ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(Connected, timeout));
    ASSERT_TRUE(waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s));
}

// First is busy, Second connects: the wizard fails over, counts the
// connection, hides in the tray, plays the tune and hides the service's window.
class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(wizard.chooseTune("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Second]\n"
                                      "\"Accesses\"=dword:00000005\n\"LastAccess\"=\"01/01/26 - 10:00:00\"\n"
                                      "\"LastTime\"=\"00:00:10\"\n\"TotalTime\"=\"00:01:00\"\n"));
        const qint64 recordedBefore = vorn::test::recordingSize();
        ASSERT_NO_FATAL_FAILURE(connectIntoTray(wizard));
        EXPECT_EQ(attempts(wizard), (QStringList { "First", "Second" }));
        EXPECT_EQ(wizard.stored(QStringLiteral("Second")).value("Accesses"), "6");
        EXPECT_EQ(wizard.stored(QStringLiteral("First")).value("Accesses"), "0");
        EXPECT_TRUE(wizard.window(QStringLiteral("^VORN95 Wizard"), 0ms).isEmpty()) << "hidden in the tray";
        EXPECT_TRUE(
            waitUntil([&] { return wizard.serviceWindow(QStringLiteral("^Connected to Second$")).isEmpty(); }, 5s))
            << "the service's own window is hidden";
        EXPECT_TRUE(waitUntil([&] { return vorn::test::scanRecording(recordedBefore).loudSamples > 0; }, 5s))
            << "the tune is heard";
    }

    WizardDriver wizard { phonebookEntry("First", "busy") + phonebookEntry("Second", "connect") };
};

TEST_F(EndToEndTest, TicksCountUntilTheLineBreaks)
{
    ASSERT_TRUE(wizard.waitForLog(thirdTick(), 6s));
    const auto ticked = wizard.stored(QStringLiteral("Second"));
    // Read while the ticks go on: the total may be one tick behind the last time.
    const qint32 lastTime = DurationToSeconds(ticked.value("LastTime"));
    EXPECT_GE(lastTime, 3);
    EXPECT_NEAR(DurationToSeconds(ticked.value("TotalTime")), 60 + lastTime, 1);
    EXPECT_TRUE(wizard.log(thirdTick()).value(0).text.contains("Connected to Second: "));

    // The line drops as a faulty modem's would.
    WizardDriver::rasdial({ QStringLiteral("--drop"), QStringLiteral("Second") });
    ASSERT_TRUE(wizard.waitForLog(QLatin1String(line::ConnectionBroken), 5s));
    const QString box = wizard.window(QStringLiteral("^Information$"), 5s);
    ASSERT_FALSE(box.isEmpty());
    WizardDriver::keys({ QStringLiteral("Return") }, box);
    EXPECT_FALSE(wizard.window(QStringLiteral("Welcome \\(0 of 3\\)"), 5s).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return wizard.trayIcon().isEmpty(); }, 5s));
}

TEST_F(EndToEndTest, DisconnectFromTheTrayMenuHangsUp)
{
    ASSERT_TRUE(wizard.disconnectFromTrayMenu());
    EXPECT_FALSE(wizard.window(QStringLiteral("Entry Selection \\(1 of 3\\)"), 3s).isEmpty());
    EXPECT_FALSE(WizardDriver::rasdial({ QStringLiteral("--lines") }).contains("\tstate ")) << "the line is hung up";
    EXPECT_TRUE(waitUntil([&] { return wizard.trayIcon().isEmpty(); }, 5s));
}

// A message box closed while the window is in the tray ends neither the
// program nor the connection.
TEST(EndToEndBoxTest, ClosingABoxWhileInTheTrayKeepsTheProgramAndTheLine)
{
    WizardDriver wizard(phonebookEntry("Home", "connect"));
    wizard.importRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Home]\n\"Accesses\"=dword:00000001\n"
        "\"LastAccess\"=\"01/01/26 - 10:00:00\"\n\"LastTime\"=\"00:00:10\"\n\"TotalTime\"=\"soon\"\n");
    ASSERT_NO_FATAL_FAILURE(connectIntoTray(wizard));
    const QString box = wizard.window(QStringLiteral("^VORN95 Wizard$"), 5s);
    ASSERT_FALSE(box.isEmpty()) << "the conversion error";
    WizardDriver::keys({ QStringLiteral("Return") }, box);
    ASSERT_TRUE(waitUntil([&] { return wizard.window(QStringLiteral("^VORN95 Wizard$"), 0ms).isEmpty(); }, 5s));
    const int before = wizard.logSize();
    EXPECT_TRUE(wizard.waitForLog(QLatin1String(line::Tick), 3s, before)) << "the monitor goes on";
    EXPECT_TRUE(wizard.running());
    const QByteArray lines = WizardDriver::rasdial({ QStringLiteral("--lines") });
    EXPECT_TRUE(lines.contains("Home") && lines.contains("\tstate ")) << lines.constData();
}

// The dialing rules: a refused password left out, a broken line dialed
// again, a user's disconnect left alone.
TEST(DialingRulesEndToEndTest, RefusedPasswordIsDroppedABrokenLineRedialedAUserDisconnectNot)
{
    WizardDriver wizard(phonebookEntry("Refuses", "badpassword") + phonebookEntry("Busy", "busy")
        + phonebookEntry("Third", "busy,busy,connect"));
    wizard.importRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ]\n"
                          "\"OnAccountFailure\"=\"drop\"\n\"RedialOnBreak\"=dword:00000001\n");
    ASSERT_NO_FATAL_FAILURE(connectIntoTray(wizard, 30s));
    EXPECT_EQ(attempts(wizard), (QStringList { "Busy", "Refuses", "Third", "Busy", "Third", "Busy", "Third" }));
    EXPECT_EQ(wizard.stored(QStringLiteral("Refuses\\Failures")).value("691"), "1");
    EXPECT_EQ(wizard.stored(QStringLiteral("Busy\\Failures")).value("676"), "3");

    // Third answers every later dial.
    const int before = wizard.logSize();
    WizardDriver::rasdial({ QStringLiteral("--drop"), QStringLiteral("Third") });
    ASSERT_TRUE(wizard.waitForLog(QLatin1String(line::Redial) + QStringLiteral(" \"Third\""), 5s, before));
    ASSERT_TRUE(wizard.waitForLog(Connected, 15s, before));
    EXPECT_TRUE(wizard.window(QStringLiteral("^Information$"), 0ms).isEmpty());
    EXPECT_EQ(wizard.stored(QStringLiteral("Third")).value("Accesses"), "2");

    ASSERT_TRUE(waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s));
    const qsizetype attemptsBefore = wizard.log(QLatin1String(line::Attempt)).size();
    ASSERT_TRUE(wizard.disconnectFromTrayMenu());
    QThread::msleep(2000);
    EXPECT_TRUE(attempts(wizard, attemptsBefore).isEmpty()) << "no redial after Disconnect";
    EXPECT_EQ(wizard.stored(QStringLiteral("Third")).value("Accesses"), "2");
}

// The test desktop's window manager takes its configuration: an error box of
// its own would catch the clicks above and show in screenshots. Its own
// windows are found by xwininfo, not xdotool.
TEST(TestDesktop, TheWindowManagerShowsNoBoxOfItsOwn)
{
    ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
    const auto errorBoxShown = [] {
        return vorn::test::runProgram(
            QStringLiteral("xwininfo"), { QStringLiteral("-name"), QStringLiteral("Openbox Syntax Error") })
            .out.contains("IsViewable");
    };
    EXPECT_FALSE(waitUntil(errorBoxShown, 2s));
}

} // namespace
