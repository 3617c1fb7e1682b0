// The dialing rules on the test desktop: a refused password left out, a
// broken line dialed again, a user's disconnect left alone.
#include "WizardDriver.h"
#include "support/TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::test::WizardDriver;

namespace
{

QByteArray entry(const char* name, const char* outcomes)
{
    return QByteArray("[") + name + "]\nDevice=Test Modem\nDeviceType=modem\nOutcomes=" + outcomes
        + "\nStepDelay=20\n\n";
}

QByteArray rule(const char* name, const char* value)
{
    return QByteArray("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ]\n\"") + name + "\"=" + value + "\n";
}

QStringList attempts(WizardDriver& wizard, int after = 0)
{
    QStringList names;
    for (const auto& line : wizard.log(QStringLiteral("attempt ")).mid(after))
        names << line.text.section(QLatin1Char('"'), 1, 1);
    return names;
}

class DialingRulesEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }
};

TEST_F(DialingRulesEndToEndTest, RefusedPasswordIsDialedOnceWhileABusyLineCyclesUntilTheThirdConnects)
{
    WizardDriver wizard(entry("Refuses", "badpassword") + entry("Busy", "busy") + entry("Third", "busy,busy,connect"));
    wizard.importRegistry(rule("OnAccountFailure", "\"drop\""));
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 30s));
    EXPECT_EQ(attempts(wizard), (QStringList { "Busy", "Refuses", "Third", "Busy", "Third", "Busy", "Third" }));
    EXPECT_EQ(wizard.stored(QStringLiteral("Refuses\\Failures")).value("691"), "1");
    EXPECT_EQ(wizard.stored(QStringLiteral("Busy\\Failures")).value("676"), "3");
    EXPECT_EQ(wizard.stored(QStringLiteral("Third")).value("Accesses"), "1");
}

TEST_F(DialingRulesEndToEndTest, BrokenLineIsRedialedButAUserDisconnectIsNot)
{
    WizardDriver wizard(entry("Line", "connect"));
    wizard.importRegistry(rule("RedialOnBreak", "dword:00000001"));
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 15s));
    ASSERT_TRUE(vorn::test::waitUntil([] { return !WizardDriver::trayIcon().isEmpty(); }, 10s));

    int before = wizard.logSize();
    WizardDriver::rasdial({ QStringLiteral("--drop"), QStringLiteral("Line") });
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("redial \"Line\""), 5s, before));
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 15s, before));
    EXPECT_FALSE(WizardDriver::windowVisible(QStringLiteral("^Information$")));
    EXPECT_EQ(wizard.stored(QStringLiteral("Line")).value("Accesses"), "2");

    // Disconnect from the tray menu: Info, a separator, Disconnect, last.
    ASSERT_TRUE(vorn::test::waitUntil([] { return !WizardDriver::trayIcon().isEmpty(); }, 10s));
    before = wizard.logSize();
    const int attemptsBefore = int(wizard.log(QStringLiteral("attempt ")).size());
    WizardDriver::clickAt(WizardDriver::trayIcon().center(), 3);
    QThread::msleep(300);
    WizardDriver::keys({ QStringLiteral("Up"), QStringLiteral("Return") });
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("page 1"), 5s, before));
    QThread::msleep(2000);
    EXPECT_TRUE(attempts(wizard, attemptsBefore).isEmpty());
    EXPECT_EQ(wizard.stored(QStringLiteral("Line")).value("Accesses"), "2");
}

} // namespace
