// The private desktop that the integration tests rely on: a display with a
// window manager, a tray host and a sound server whose output is recorded.
#include "platform/ToneFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <sndfile.h>

using namespace std::chrono_literals;
using vorn::test::runProgram;

namespace
{

class TestDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vorn::test::inTestSession()) << "run the tests through scripts/test-session.sh";
    }
};

} // namespace

TEST_F(TestDesktop, WindowAppearsWithItsTitle)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("VORN95 probe window"));
    window.resize(200, 100);
    window.show();
    EXPECT_TRUE(
        vorn::test::waitUntil([] { return vorn::test::windowShown(QStringLiteral("VORN95 probe window")); }, 5s));
}

TEST_F(TestDesktop, TrayHostIsAvailable)
{
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(TestDesktop, SoundPlayedToTheSinkIsRecorded)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(vorn::test::writeTone(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5));
    const qint64 before = vorn::test::recordingSize();
    const auto played = runProgram(QStringLiteral("paplay"), { file });
    ASSERT_EQ(played.exitCode, 0) << played.err.toStdString();
    // The recorder lags the sink by its latency; give it a moment to catch up.
    vorn::test::waitUntil([&] { return vorn::test::scanRecording(before).loudSamples > 3000; }, 2s);
    const auto scan = vorn::test::scanRecording(before);
    // Half a second at 8 kHz is 4000 samples; a sine is loud most of the time.
    EXPECT_GT(scan.loudSamples, 3000);
    EXPECT_LT(scan.loudSamples, 4400);
}

TEST_F(TestDesktop, TheWindowManagerShowsNoBoxOfItsOwn)
{
    // Its configuration must parse; an error box would catch clicks and show
    // in screenshots. Its own windows are found by xwininfo, not xdotool.
    const auto errorBoxShown = [] {
        return runProgram(
            QStringLiteral("xwininfo"), { QStringLiteral("-name"), QStringLiteral("Openbox Syntax Error") })
            .out.contains("IsViewable");
    };
    EXPECT_FALSE(vorn::test::waitUntil(errorBoxShown, 2s));
}
