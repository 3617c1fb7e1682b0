// Sound files played through the test desktop's sound server, whose output
// is recorded.
#include "platform/linux/PulseSound.h"
#include "support/DesktopHelpers.h"
#include "support/TestSupport.h"
#include "support/ToneFile.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sndfile.h>

#include <thread>

using namespace std::chrono_literals;
using vorn::PulseSound;

namespace
{

class SoundTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }

    QString tone(const QString& name, int format, double seconds, int rate = 22050, int channels = 1)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(vorn::test::writeTone(path, format, seconds, rate, channels)) << name.toStdString();
        return path;
    }
};

TEST_F(SoundTest, AWaveIsHeardToItsEnd)
{
    // libsndfile hands the player float samples whatever the file holds; what
    // the player itself must get right is the frame count, rate and channels.
    constexpr double seconds = 0.4;
    const QString file = tone(QStringLiteral("stereo-11k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, seconds, 11025, 2);
    const qint64 before = vorn::test::recordingSize();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(PulseSound().play(file, {}));
    // It returns once the sound has ended, not when it was handed over.
    EXPECT_GE(timer.elapsed(), qint64(seconds * 1000 * 0.9));
    std::this_thread::sleep_for(150ms); // the recorder trails the sink
    const qint64 loud = vorn::test::scanRecording(before).loudSamples;
    EXPECT_GT(loud, vorn::test::expectedLoudSamples(seconds) * 85 / 100);
    EXPECT_LT(loud, vorn::test::expectedLoudSamples(seconds) * 115 / 100);
}

TEST_F(SoundTest, UnplayableFilesAndAbsentOrSilentServersFailPromptlyAndSilently)
{
    const QString tune = tone(QStringLiteral("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.3);
    // A stopped server takes connections and never answers, as a hung one does.
    vorn::test::PrivateSoundServer silent;
    ASSERT_TRUE(silent.ok());
    silent.freeze(true);

    const struct {
        QString file;
        QByteArray server;
    } failures[] = {
        { dir.filePath(QStringLiteral("missing.wav")), {} },
        { tune, "unix:" + QFile::encodeName(dir.filePath(QStringLiteral("nobody"))) },
        { tune, silent.address() },
    };
    const qint64 before = vorn::test::recordingSize();
    for (const auto& [sound, server] : failures) {
        SCOPED_TRACE(sound.toStdString() + " on " + server.toStdString());
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(PulseSound(server).play(sound, {}));
        // libpulse alone would wait 30 seconds for the silent one.
        EXPECT_LT(timer.elapsed(), 3 * PulseSound::ConnectTimeout.count());
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vorn::test::scanRecording(before).loudSamples, 0);
}

} // namespace
