// The dialing rules on the test desktop: a refused password left out, a
// broken line dialed again, a user's disconnect left alone.
#include "app/WizardLog.h"
#include "demo/WizardDriver.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::demo::phonebookEntry;
using vorn::demo::WizardDriver;
using vorn::test::waitUntil;
namespace line = vorn::wizardlog;

namespace
{

QStringList attempts(WizardDriver& wizard, qsizetype after = 0)
{
    QStringList names;
    for (const auto& attempt : wizard.log(QLatin1String(line::Attempt)).mid(after))
        names << attempt.text.section(QLatin1Char('"'), 1, 1);
    return names;
}

TEST(DialingRulesEndToEndTest, RefusedPasswordIsDroppedABrokenLineRedialedAUserDisconnectNot)
{
    ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
    WizardDriver wizard(phonebookEntry("Refuses", "badpassword") + phonebookEntry("Busy", "busy")
        + phonebookEntry("Third", "busy,busy,connect"));
    wizard.importRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ]\n"
                          "\"OnAccountFailure\"=\"drop\"\n\"RedialOnBreak\"=dword:00000001\n");
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QLatin1String(line::Connected), 30s));
    EXPECT_EQ(attempts(wizard), (QStringList { "Busy", "Refuses", "Third", "Busy", "Third", "Busy", "Third" }));
    EXPECT_EQ(wizard.stored(QStringLiteral("Refuses\\Failures")).value("691"), "1");
    EXPECT_EQ(wizard.stored(QStringLiteral("Busy\\Failures")).value("676"), "3");
    ASSERT_TRUE(waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s));

    // Third answers every later dial.
    const int before = wizard.logSize();
    WizardDriver::rasdial({ QStringLiteral("--drop"), QStringLiteral("Third") });
    ASSERT_TRUE(wizard.waitForLog(QLatin1String(line::Redial) + QStringLiteral(" \"Third\""), 5s, before));
    ASSERT_TRUE(wizard.waitForLog(QLatin1String(line::Connected), 15s, before));
    EXPECT_TRUE(wizard.window(QStringLiteral("^Information$"), 0ms).isEmpty());
    EXPECT_EQ(wizard.stored(QStringLiteral("Third")).value("Accesses"), "2");

    ASSERT_TRUE(waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s));
    const qsizetype attemptsBefore = wizard.log(QLatin1String(line::Attempt)).size();
    ASSERT_TRUE(wizard.disconnectFromTrayMenu());
    QThread::msleep(2000);
    EXPECT_TRUE(attempts(wizard, attemptsBefore).isEmpty()) << "no redial after Disconnect";
    EXPECT_EQ(wizard.stored(QStringLiteral("Third")).value("Accesses"), "2");
}

} // namespace
