// Sound files played through the test desktop's sound server, whose output
// is recorded.
#include "StopLater.h"
#include "platform/linux/PulseSound.h"
#include "support/TestSupport.h"
#include "support/ToneFile.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
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

// Plays the file and returns the recorded loud samples from that time on.
qint64 heardWhilePlaying(const QString& file, qint64* elapsedMs)
{
    const qint64 before = vorn::test::recordingSize();
    QElapsedTimer timer;
    timer.start();
    PulseSound sound;
    const bool played = sound.play(file, {});
    *elapsedMs = timer.elapsed();
    EXPECT_TRUE(played) << file.toStdString();
    // The recorder trails the sink by its latency.
    std::this_thread::sleep_for(150ms);
    return vorn::test::scanRecording(before).loudSamples;
}

TEST_F(SoundTest, EveryWaveEncodingIsHeardToItsEnd)
{
    const struct {
        const char* name;
        int format;
        int rate = 22050;
        int channels = 1;
    } encodings[] = {
        // Unsigned, floating point and compressed samples; another rate and two channels.
        { "u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8 },
        { "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT },
        { "ima-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM },
        { "stereo-11k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 11025, 2 },
    };
    constexpr double seconds = 0.4;
    for (const auto& encoding : encodings) {
        SCOPED_TRACE(encoding.name);
        qint64 elapsedMs = 0;
        const qint64 loud = heardWhilePlaying(
            tone(QString::fromLatin1(encoding.name), encoding.format, seconds, encoding.rate, encoding.channels),
            &elapsedMs);
        // It returns once the sound has ended, not when it was handed over.
        EXPECT_GE(elapsedMs, qint64(seconds * 1000 * 0.9));
        EXPECT_GT(loud, vorn::test::expectedLoudSamples(seconds) * 85 / 100);
        EXPECT_LT(loud, vorn::test::expectedLoudSamples(seconds) * 115 / 100);
    }
}

TEST_F(SoundTest, UnreadableFilesFailAtOnceAndSilently)
{
    const QString text = dir.filePath(QStringLiteral("not-a-sound.wav"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("RIFF but nothing else");
    file.close();

    const qint64 before = vorn::test::recordingSize();
    PulseSound sound;
    EXPECT_FALSE(sound.play(dir.filePath(QStringLiteral("missing.wav")), {}));
    EXPECT_FALSE(sound.play(text, {}));
    EXPECT_FALSE(sound.play(dir.path(), {}));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vorn::test::scanRecording(before).loudSamples, 0);
}

// A server socket that accepts connections and never answers, as a stopped
// or hung sound server does.
class SilentServer
{
public:
    explicit SilentServer(const QString& path)
    {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 4) == 0;
    }
    ~SilentServer() { close(fd_); }
    bool ok() const { return ok_; }

private:
    int fd_ = -1;
    bool ok_ = false;
};

TEST_F(SoundTest, AbsentOrSilentServerFailsPromptly)
{
    const QString file = tone(QStringLiteral("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.3);
    const QString silentPath = dir.filePath(QStringLiteral("silent"));
    SilentServer silent(silentPath);
    ASSERT_TRUE(silent.ok());

    for (const QString& server :
        { QStringLiteral("unix:") + dir.filePath(QStringLiteral("nobody")), QStringLiteral("unix:") + silentPath }) {
        SCOPED_TRACE(server.toStdString());
        QElapsedTimer timer;
        timer.start();
        PulseSound sound(server.toUtf8());
        EXPECT_FALSE(sound.play(file, {}));
        // libpulse alone would wait 30 seconds for the silent one.
        EXPECT_LT(timer.elapsed(), 3 * PulseSound::ConnectTimeout.count());
    }
}

TEST_F(SoundTest, StopRequestEndsPlaybackEarly)
{
    const QString file = tone(QStringLiteral("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 20);
    const vorn::test::StopLater stop(300ms);
    QElapsedTimer timer;
    timer.start();
    PulseSound sound;
    EXPECT_FALSE(sound.play(file, stop.token()));
    EXPECT_LT(timer.elapsed(), 5000);
}

} // namespace
