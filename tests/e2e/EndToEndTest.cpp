// The whole program on the test desktop: the real window clicked through X,
// the simulated dial-up service, the tray host and the sound server.
#include "ChosenTune.h"
#include "WizardDriver.h"
#include "support/TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::test::WizardDriver;

namespace
{

QByteArray entry(const char* name, const char* outcomes, int stepDelay = 20)
{
    return QByteArray("[") + name + "]\nPhoneNumber=555-0100\nDevice=Test Modem\nDeviceType=modem\nOutcomes=" + outcomes
        + "\nStepDelay=" + QByteArray::number(stepDelay) + "\n\n";
}

QStringList attempts(WizardDriver& wizard)
{
    QStringList names;
    for (const auto& line : wizard.log(QStringLiteral("attempt ")))
        names << line.text.mid(8).remove(QLatin1Char('"'));
    return names;
}

// The service's lines, one per row, as vorn-rasdial lists them.
QByteArray openLines()
{
    QByteArray rows;
    for (const QByteArray& row : WizardDriver::rasdial({ QStringLiteral("--lines") }).split('\n'))
        if (row.contains("\tstate "))
            rows += row + '\n';
    return rows;
}

qint32 seconds(const QString& duration)
{
    const QStringList parts = duration.split(QLatin1Char(':'));
    return parts.size() == 3 ? parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt() : -1;
}

class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }
};

TEST_F(EndToEndTest, UnansweredEntriesAreDialedInSortedOrderUntilAbort)
{
    WizardDriver wizard(entry("Office", "noanswer") + entry("backup", "noanswer") + entry("Home", "noanswer"));
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("attempt"), 15s, 0));
    ASSERT_TRUE(vorn::test::waitUntil([&] { return wizard.log(QStringLiteral("attempt ")).size() >= 4; }, 15s));

    EXPECT_EQ(attempts(wizard).mid(0, 4), (QStringList { "backup", "Home", "Office", "backup" }));
    const auto tries = wizard.log(QStringLiteral("attempt "));
    const auto statuses = wizard.log(QStringLiteral("status "));
    for (qsizetype i = 1; i < 4; ++i)
        EXPECT_GE(tries[i].seconds - tries[i - 1].seconds, 1.0) << "pause before attempt " << i;
    EXPECT_FALSE(statuses.isEmpty()) << "the status text follows the engine";

    const int before = wizard.logSize();
    wizard.click(WizardDriver::AbortButton);
    EXPECT_TRUE(wizard.waitForLog(QStringLiteral("dialing ended"), 5s, before));
    EXPECT_FALSE(wizard.window(QStringLiteral("Entry Selection \\(1 of 3\\)"), 3s).isEmpty());
    EXPECT_FALSE(openLines().contains("Office"));
    EXPECT_EQ(wizard.log(QStringLiteral("attempt ")).size(), tries.size()) << "no attempt after Abort";
}

TEST_F(EndToEndTest, SkipEndsTheAttemptAndTheNextEntryFollowsAfterThePause)
{
    WizardDriver wizard(entry("A", "noanswer", 2000) + entry("B", "noanswer", 2000));
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("attempt \"A\""), 10s));
    wizard.click(WizardDriver::SkipButton);
    const auto skipped = wizard.waitForLog(QStringLiteral("skipped"), 3s);
    const auto next = wizard.waitForLog(QStringLiteral("attempt \"B\""), 5s);
    ASSERT_TRUE(skipped && next);
    EXPECT_GE(next->seconds - skipped->seconds, 1.0);
    // The window's own close command ends dialing and hangs up.
    wizard.click(WizardDriver::CloseButton);
    EXPECT_TRUE(vorn::test::waitUntil([&] { return !wizard.running(); }, 5s));
    EXPECT_TRUE(openLines().isEmpty());
}

class ConnectedTest : public EndToEndTest
{
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        ASSERT_TRUE(vorn::test::chooseTune(wizard,
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Second]\n\"Accesses\"=dword:00000005\n"
            "\"LastAccess\"=\"01/01/26 - 10:00:00\"\n\"LastTime\"=\"00:00:10\"\n\"TotalTime\"=\"00:01:00\"\n"));
        recordedBefore = vorn::test::recordingSize();
        ASSERT_TRUE(wizard.startDialing());
        ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 15s));
        ASSERT_TRUE(vorn::test::waitUntil([] { return !WizardDriver::trayIcon().isEmpty(); }, 10s));
    }

    WizardDriver wizard { entry("First", "busy") + entry("Second", "connect") };
    qint64 recordedBefore = 0;
};

TEST_F(ConnectedTest, ConnectionIsCountedHiddenInTheTrayWithTuneAndTicks)
{
    const auto second = wizard.stored(QStringLiteral("Second"));
    const auto first = wizard.stored(QStringLiteral("First"));
    EXPECT_EQ(attempts(wizard), (QStringList { "First", "Second" }));
    EXPECT_EQ(second.value("Accesses"), "6");
    EXPECT_NE(second.value("LastAccess"), "01/01/26 - 10:00:00");
    EXPECT_EQ(first.value("Accesses"), "0");
    EXPECT_EQ(first.value("LastAccess"), "00/00/00");

    EXPECT_FALSE(WizardDriver::windowVisible(QStringLiteral("^VORN95 Wizard")));
    EXPECT_TRUE(wizard.log(QStringLiteral("tooltip")).value(0).text.contains("Connected to Second: "));
    EXPECT_TRUE(
        vorn::test::waitUntil([] { return !WizardDriver::windowVisible(QStringLiteral("^Connected to Second$")); }, 5s))
        << "the service's own window is hidden";
    EXPECT_TRUE(vorn::test::waitUntil([&] { return vorn::test::scanRecording(recordedBefore).loudSamples > 0; }, 5s))
        << "the tune is heard";

    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("tick 3 "), 6s));
    const auto ticked = wizard.stored(QStringLiteral("Second"));
    const qint32 lastTime = seconds(ticked.value("LastTime"));
    EXPECT_TRUE(lastTime == 3 || lastTime == 4) << ticked.value("LastTime").toStdString();
    EXPECT_EQ(seconds(ticked.value("TotalTime")), 60 + lastTime);

    // The line drops as a faulty modem's would.
    WizardDriver::rasdial({ QStringLiteral("--drop"), QStringLiteral("Second") });
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connection broken"), 5s));
    ASSERT_FALSE(wizard.window(QStringLiteral("^Information$"), 5s).isEmpty());
    WizardDriver::keys({ QStringLiteral("Return") });
    EXPECT_FALSE(wizard.window(QStringLiteral("Welcome \\(0 of 3\\)"), 5s).isEmpty());
    EXPECT_TRUE(vorn::test::waitUntil([] { return WizardDriver::trayIcon().isEmpty(); }, 5s));
}

TEST_F(ConnectedTest, DisconnectFromTheTrayMenuShowsTheSelectionPage)
{
    const QRect icon = WizardDriver::trayIcon();
    const int before = wizard.logSize();
    WizardDriver::clickAt(icon.center(), 3);
    QThread::msleep(300);
    // The menu: the connected item, Info, History..., a separator, Disconnect, last.
    WizardDriver::keys({ QStringLiteral("Up"), QStringLiteral("Return") });
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("page 1"), 5s, before));
    EXPECT_FALSE(wizard.window(QStringLiteral("Entry Selection \\(1 of 3\\)"), 3s).isEmpty());
    EXPECT_TRUE(openLines().isEmpty());
    EXPECT_TRUE(vorn::test::waitUntil([] { return WizardDriver::trayIcon().isEmpty(); }, 5s));
}

// A message box closed while the window is in the tray ends neither the
// program nor the connection.
TEST_F(EndToEndTest, ClosingABoxWhileInTheTrayKeepsTheProgramAndTheLine)
{
    WizardDriver wizard(entry("Home", "connect"));
    wizard.importRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Home]\n\"Accesses\"=dword:00000001\n"
        "\"LastAccess\"=\"01/01/26 - 10:00:00\"\n\"LastTime\"=\"00:00:10\"\n\"TotalTime\"=\"soon\"\n");
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 15s));
    ASSERT_FALSE(wizard.window(QStringLiteral("^VORN95 Wizard$"), 5s).isEmpty()) << "the conversion error";
    WizardDriver::keys({ QStringLiteral("Return") });
    ASSERT_TRUE(
        vorn::test::waitUntil([] { return !WizardDriver::windowVisible(QStringLiteral("^VORN95 Wizard$")); }, 5s));
    const int before = wizard.logSize();
    EXPECT_TRUE(wizard.waitForLog(QStringLiteral("tick "), 3s, before)) << "the monitor goes on";
    EXPECT_TRUE(wizard.running());
    EXPECT_TRUE(openLines().contains("Home"));
}

} // namespace
