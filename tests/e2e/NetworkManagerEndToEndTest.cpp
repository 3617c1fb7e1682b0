// The whole program on the private NetworkManager of scripts/nm-session.sh:
// its VPN profiles dialed in turn, the working one connected, the tune played
// at connect (no dial-up window there), the line broken by stopping the server.
#include "ChosenTune.h"
#include "WizardDriver.h"
#include "support/TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vorn::test::WizardDriver;

namespace
{

TEST(NetworkManagerEndToEndTest, FailingProfilesCycleTheWorkingOneConnectsAndBreaks)
{
    const QString session = qEnvironmentVariable("VORN_NM_SESSION");
    if (session.isEmpty())
        GTEST_SKIP() << "needs the NetworkManager of scripts/nm-session.sh";
    ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";

    WizardDriver wizard({}, WizardDriver::Backend::NetworkManager);
    ASSERT_TRUE(vorn::test::chooseTune(wizard));
    const qint64 recordedBefore = vorn::test::recordingSize();
    ASSERT_TRUE(wizard.startDialing());
    ASSERT_TRUE(wizard.waitForLog(QStringLiteral("connected"), 60s));

    QStringList attempts;
    for (const auto& line : wizard.log(QStringLiteral("attempt ")))
        attempts << line.text.mid(8).remove(QLatin1Char('"'));
    EXPECT_EQ(attempts.last(), "VPN working");
    EXPECT_GE(attempts.size(), 2) << "the failing profiles come first";
    EXPECT_EQ(wizard.stored(QStringLiteral("VPN working")).value("Accesses"), "1");
    EXPECT_TRUE(vorn::test::waitUntil([&] { return vorn::test::scanRecording(recordedBefore).loudSamples > 0; }, 5s))
        << "the tune plays at connect";
    const auto tick = wizard.waitForLog(QStringLiteral("tick 2 "), 5s);
    ASSERT_TRUE(tick);
    EXPECT_TRUE(tick->text.contains("Connected to VPN working: "));

    const int before = wizard.logSize();
    vorn::test::runProgram(session + QStringLiteral("/server"), { QStringLiteral("stop") });
    EXPECT_TRUE(wizard.waitForLog(QStringLiteral("connection broken"), 20s, before));
    EXPECT_FALSE(wizard.window(QStringLiteral("^Information$"), 5s).isEmpty());
    WizardDriver::keys({ QStringLiteral("Return") });
    vorn::test::runProgram(session + QStringLiteral("/server"), { QStringLiteral("start") });
}

} // namespace
