// Sound that cannot be played fails at once and is never heard. Playing a
// tune to its end is checked with the tune watcher (WatchersDesktopTest).
#include "platform/pulse/PulseSound.h"
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

TEST(SoundTest, UnplayableFilesAndAbsentOrSilentServersFailPromptlyAndSilently)
{
    ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
    QTemporaryDir dir;
    const QString tune = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(vorn::test::writeTone(tune, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.3));
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
