// The private desktop that the integration tests rely on: a display with a
// window manager, a tray host and a sound server whose output is recorded.
#include "support/TestSupport.h"

#include <QDir>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using vorn::test::runProgram;

namespace {

class TestDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vorn::test::inTestSession()) << "run the tests through scripts/test-session.sh";
    }
};

// A 16-bit mono WAV of a sine tone.
QByteArray sineWav(int sampleRate, double seconds, double frequency)
{
    const auto samples = static_cast<quint32>(sampleRate * seconds);
    QByteArray wav;
    auto put32 = [&wav](quint32 v) { for (int i = 0; i < 4; ++i) wav.append(char((v >> (8 * i)) & 0xFF)); };
    auto put16 = [&wav](quint16 v) { wav.append(char(v & 0xFF)); wav.append(char(v >> 8)); };
    wav.append("RIFF");
    put32(36 + samples * 2);
    wav.append("WAVEfmt ");
    put32(16); put16(1); put16(1); put32(quint32(sampleRate)); put32(quint32(sampleRate) * 2); put16(2); put16(16);
    wav.append("data");
    put32(samples * 2);
    for (quint32 i = 0; i < samples; ++i)
        put16(quint16(qint16(12000 * std::sin(2 * M_PI * frequency * i / sampleRate))));
    return wav;
}

} // namespace

TEST_F(TestDesktop, WindowAppearsWithItsTitle)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("VORN95 probe window"));
    window.resize(200, 100);
    window.show();
    bool found = vorn::test::waitUntil([] {
        const auto r = runProgram(QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                QStringLiteral("^VORN95 probe window$")});
        return r.exitCode == 0 && !r.out.trimmed().isEmpty();
    }, 5s);
    EXPECT_TRUE(found);
}

TEST_F(TestDesktop, TrayHostIsAvailable)
{
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(TestDesktop, SoundPlayedToTheSinkIsRecorded)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("tone.wav"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(sineWav(22050, 0.5, 440));
    out.close();

    const qint64 before = vorn::test::recordingSize();
    const auto played = runProgram(QStringLiteral("paplay"), {file});
    ASSERT_EQ(played.exitCode, 0) << played.err.toStdString();
    // The recorder lags the sink by its latency; give it a moment to catch up.
    vorn::test::waitUntil([&] { return vorn::test::scanRecording(before).loudSamples > 3000; }, 2s);
    const auto scan = vorn::test::scanRecording(before);
    // Half a second at 8 kHz is 4000 samples; a sine is loud most of the time.
    EXPECT_GT(scan.loudSamples, 3000);
    EXPECT_LT(scan.loudSamples, 4400);
}
