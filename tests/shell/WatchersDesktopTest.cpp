// What only real servers show: how soon the tune follows the mapping of its
// window on the recorded sound sink, and that exit is prompt whatever the
// servers do.
#include "platform/linux/XcbDesktopWindows.h"
#include "platform/pulse/PulseSound.h"
#include "shell/WindowWatchers.h"
#include "support/DesktopHelpers.h"
#include "support/TestSupport.h"
#include "support/ToneFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sndfile.h>
#include <xcb/xcb.h>

#include <future>
#include <thread>

using namespace std::chrono_literals;
using vorn::test::uniqueTitle;
using vorn::test::waitUntil;

namespace
{

// Maps a window titled `title` on the connection `x` (it goes with the
// connection) and returns how far the sound recording had got just before.
qint64 mapWindow(xcb_connection_t* x, const QString& title)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t window = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 300, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        screen->root_visual, 0, nullptr);
    const QByteArray name = title.toLatin1();
    xcb_change_property(
        x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, name.size(), name.constData());
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    const qint64 before = vorn::test::recordingSize();
    xcb_map_window(x, window);
    xcb_flush(x);
    return before;
}

class WatchersDesktopTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    void SetUp() override { ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh"; }
    void TearDown() override { stopAllWatchers(); }

    // Two channels at 11,025 Hz: played with a wrong frame count, rate or
    // channel count the tune would not last as long as it should.
    QString tune(double seconds)
    {
        const QString path = dir.filePath(QStringLiteral("tune.wav"));
        EXPECT_TRUE(vorn::test::writeTone(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, seconds, 11025, 2));
        return path;
    }
};

TEST_F(WatchersDesktopTest, TuneIsHeardAsSoonAsTheWindowIsMapped)
{
    constexpr double seconds = 0.5;
    const QString caption = uniqueTitle(QStringLiteral("Connection Established"));
    (new TPDTThread(caption, tune(seconds)))->setFreeOnTerminate(true);
    std::this_thread::sleep_for(500ms);

    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x(xcb_connect(nullptr, nullptr), xcb_disconnect);
    const qint64 mapped = mapWindow(x.get(), caption);
    ASSERT_TRUE(waitUntil([] { return PDTDone.load(); }, 10s));
    // Heard whole 200 ms after the play returned: it returns once the sound
    // has ended, not when it was handed over (the recorder trails the sink).
    std::this_thread::sleep_for(200ms);

    const auto heard = vorn::test::scanRecording(mapped);
    const auto expected = vorn::test::expectedLoudSamples(seconds);
    EXPECT_GT(heard.loudSamples, expected * 85 / 100);
    EXPECT_LT(heard.loudSamples, expected * 115 / 100);
    RecordProperty("delay_ms", int(heard.firstLoud * 1000 / vorn::test::RecordingRate));
    ASSERT_GE(heard.firstLoud, 0);
    // Sanitizer builds run several times slower; they check for races, not speed.
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(heard.firstLoud, vorn::test::RecordingRate / 10) << "started within 100 ms of the mapping";
#endif
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
    (new TPDTThread(uniqueTitle(QStringLiteral("never")), tune(30), vorn::platform::desktopWindows(),
         std::make_unique<vorn::PulseSound>(sound.address())))
        ->setFreeOnTerminate(true);
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
