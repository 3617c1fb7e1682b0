// What only real servers show: how soon the tune follows the X server's map
// event on the recorded sound sink, that watchers given up leave no threads or
// connections behind, and that exit is prompt whatever the servers do.
#include "platform/linux/PulseSound.h"
#include "platform/linux/XcbDesktopWindows.h"
#include "shell/WindowWatchers.h"
#include "support/DesktopHelpers.h"
#include "support/TestSupport.h"
#include "support/ToneFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sndfile.h>
#include <xcb/xcb.h>

#include <future>
#include <thread>

using namespace std::chrono_literals;
using vorn::test::MessageWindow;
using vorn::test::uniqueTitle;
using vorn::test::waitUntil;

namespace
{

// Sanitizer builds run several times slower; they check for races, not speed.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

class MapObserver
{
public:
    MapObserver()
        : connection_(xcb_connect(nullptr, nullptr))
    {
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root, XCB_CW_EVENT_MASK, &events);
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    ~MapObserver() { xcb_disconnect(connection_); }

    // How far the sound recording had got at the last map event before the
    // titled window was listed as visible.
    std::optional<qint64> recordingWhenMapped(const QString& title)
    {
        vorn::XcbDesktopWindows lister;
        std::optional<qint64> last;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd fd { xcb_get_file_descriptor(connection_), POLLIN, 0 };
            poll(&fd, 1, 5);
            while (auto* event = xcb_poll_for_event(connection_)) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                    last = vorn::test::recordingSize();
                std::free(event);
            }
            const auto window = last ? vorn::test::findWindow(lister, title) : std::nullopt;
            if (window && window->visible)
                return last;
        }
        return std::nullopt;
    }

private:
    xcb_connection_t* connection_;
};

class WatchersDesktopTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
        PDTFound = false;
        PDTDone = false;
        FWDone = false;
    }
    void TearDown() override { stopAllWatchers(); }

    QString tune(double seconds)
    {
        const QString path = dir.filePath(QStringLiteral("tune.wav"));
        EXPECT_TRUE(vorn::test::writeTone(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, seconds));
        return path;
    }

    static void startTuneWatcher(
        const QString& caption, const QString& tuneFile, std::unique_ptr<vorn::Sound> sound = vorn::platform::sound())
    {
        (new TPDTThread(caption, tuneFile, vorn::platform::desktopWindows(), std::move(sound)))
            ->setFreeOnTerminate(true);
    }

    static bool tuneDone()
    {
        return waitUntil([] { return PDTDone.load(); }, 10s);
    }
};

TEST_F(WatchersDesktopTest, TuneIsHeardAsSoonAsTheWindowIsMapped)
{
    constexpr double seconds = 0.5;
    const QString caption = uniqueTitle(QStringLiteral("Connection Established"));
    startTuneWatcher(caption, tune(seconds));
    std::this_thread::sleep_for(500ms);

    MapObserver observer;
    const MessageWindow window(caption);
    const auto mapped = observer.recordingWhenMapped(caption);
    ASSERT_TRUE(mapped);
    ASSERT_TRUE(tuneDone());
    std::this_thread::sleep_for(200ms); // the recorder trails the sink

    const auto heard = vorn::test::scanRecording(*mapped);
    const auto expected = vorn::test::expectedLoudSamples(seconds);
    EXPECT_GT(heard.loudSamples, expected * 85 / 100);
    EXPECT_LT(heard.loudSamples, expected * 115 / 100);
    RecordProperty("delay_ms", int(heard.firstLoud * 1000 / vorn::test::RecordingRate));
    ASSERT_GE(heard.firstLoud, 0);
    if (!Sanitized) {
        EXPECT_LT(heard.firstLoud, vorn::test::RecordingRate / 10) << "started within 100 ms of the mapping";
    }
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// The program's open sockets: its X connections, here.
int socketCount()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    int sockets = 0;
    for (const auto& fd : fds.entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
        sockets += fd.symLinkTarget().contains(QStringLiteral("socket:[")) ? 1 : 0;
    return sockets;
}

// The wizard starts a tune watcher on every entry into its dialing page.
TEST_F(WatchersDesktopTest, AbortedRunsLeaveOneTuneWatcherWaiting)
{
    const QString caption = uniqueTitle(QStringLiteral("Connection Established"));
    const QString tuneFile = tune(0.2);
    const int threads = threadCount();
    const int connections = socketCount();
    for (int run = 0; run < 100; ++run) {
        startTuneWatcher(caption, tuneFile);
        PDTFound = false;
    }
    EXPECT_TRUE(waitUntil([&] { return threadCount() <= threads + 1 && socketCount() <= connections + 1; }, 5s))
        << threadCount() - threads << " threads and " << socketCount() - connections << " X connections more";

    const MessageWindow window(caption);
    EXPECT_TRUE(tuneDone());
}

TEST_F(WatchersDesktopTest, ExitIsPromptWhateverTheDisplayOrSoundServerDoes)
{
    vorn::test::PrivateDisplay display;
    ASSERT_TRUE(display.ok());
    vorn::test::PrivateSoundServer sound;
    ASSERT_TRUE(sound.ok());
    new TFWThread(uniqueTitle(QStringLiteral("never")));
    new TFWThread(
        uniqueTitle(QStringLiteral("never")), std::make_unique<vorn::XcbDesktopWindows>(display.name().toLatin1()));
    startTuneWatcher(
        uniqueTitle(QStringLiteral("never")), tune(30), std::make_unique<vorn::PulseSound>(sound.address()));
    PDTPlayNow = true;
    ASSERT_TRUE(waitUntil([&] { return sound.playing(); }, 10s));

    display.freeze(true);
    // Long enough for the hider to start a listing on the frozen display, and
    // for the tune watcher to fill what the frozen sound server buffers.
    std::this_thread::sleep_for(TWindowWatcher::SafetyPass + 300ms);
    sound.freeze(true);
    std::this_thread::sleep_for(300ms);
    auto stopping = std::async(std::launch::async, stopAllWatchers);
    const bool prompt = stopping.wait_for(2s) == std::future_status::ready;
    // A stop that hangs ends once the servers answer again.
    display.freeze(false);
    sound.freeze(false);
    stopping.wait();
    EXPECT_TRUE(prompt);
    EXPECT_FALSE(FWDone);
}

} // namespace
