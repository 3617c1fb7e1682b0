// The tune watcher and the window hider against a desktop and a sound device
// in memory.
#include "platform/DesktopWindows.h"
#include "platform/Sound.h"
#include "shell/WindowWatchers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using vorn::DesktopWindows;

namespace
{

// What every connection to the fake desktop and sound device shares.
struct FakeScreen {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::vector<DesktopWindows::Window> windows; // topmost first
    std::vector<DesktopWindows::WindowId> hidden;
    std::vector<QString> played; // a tune stopped before its end is marked "cut"
    int generation = 0;
    bool broken = false;
    std::chrono::milliseconds tuneLength { 0 };
    std::atomic<int> passes = 0;
    std::atomic<int> connections = 0; // a tune watcher holds two: desktop and sound
    std::atomic<bool> flagsSetWhilePlaying = false;

    void put(DesktopWindows::WindowId id, const QString& title, bool visible)
    {
        const std::lock_guard lock(mutex);
        windows.push_back({ id, title, visible });
        ++generation;
        changed.notify_all();
    }
};

// A connection to the fake screen, as the desktop or as the sound device.
class FakeConnection final : public DesktopWindows, public vorn::Sound
{
public:
    explicit FakeConnection(std::shared_ptr<FakeScreen> screen)
        : screen_(std::move(screen))
    {
        ++screen_->connections;
    }
    ~FakeConnection() override { --screen_->connections; }
    std::optional<std::vector<Window>> topLevelWindows(std::stop_token) override
    {
        const std::lock_guard lock(screen_->mutex);
        if (screen_->broken)
            return std::nullopt;
        ++screen_->passes;
        seen_ = screen_->generation;
        return screen_->windows;
    }
    bool hide(WindowId window, std::stop_token) override
    {
        const std::lock_guard lock(screen_->mutex);
        screen_->hidden.push_back(window);
        return true;
    }
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override
    {
        std::unique_lock lock(screen_->mutex);
        screen_->changed.wait_for(
            lock, stop, timeout, [this] { return screen_->broken || screen_->generation != seen_; });
        if (screen_->broken)
            return Wait::Broken;
        return std::exchange(seen_, screen_->generation) == screen_->generation ? Wait::Quiet : Wait::Changed;
    }
    // Plays for the screen's tuneLength, or until stopped.
    bool play(const QString& file, std::stop_token stop) override
    {
        std::unique_lock lock(screen_->mutex);
        screen_->played.push_back(file);
        screen_->changed.wait_for(lock, stop, screen_->tuneLength, [] { return false; });
        screen_->flagsSetWhilePlaying = screen_->flagsSetWhilePlaying || PDTFound || PDTDone;
        if (stop.stop_requested())
            screen_->played.back() += QStringLiteral(" cut");
        return !stop.stop_requested();
    }

private:
    std::shared_ptr<FakeScreen> screen_;
    int seen_ = -1;
};

bool eventually(const std::function<bool()>& pred)
{
    return vorn::test::waitUntil(pred, 5s);
}

class WatchersTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();

    void TearDown() override { stopAllWatchers(); }

    TPDTThread* tuneWatcher(const QString& caption, const QString& tune)
    {
        return new TPDTThread(
            caption, tune, std::make_unique<FakeConnection>(screen), std::make_unique<FakeConnection>(screen));
    }
    std::vector<QString> played()
    {
        const std::lock_guard lock(screen->mutex);
        return screen->played;
    }
};

const std::vector<QString> OneTune { QStringLiteral("a.wav") };

TEST_F(WatchersTest, TunePlaysOnceTheExactlyTitledWindowIsShownAndFlagsFollowTheSound)
{
    screen->tuneLength = 200ms;
    screen->put(1, QStringLiteral("Connection Established"), false);
    DesktopWindows::WindowId id = 2;
    for (const char* nearly :
        { "connection established", "Connection Established ", " Connection Established", "Connection Establishe" })
        screen->put(id++, QString::fromLatin1(nearly), true);
    auto* watcher = tuneWatcher(QStringLiteral("Connection Established"), QStringLiteral("a.wav"));
    ASSERT_TRUE(eventually([&] { return screen->passes > 0; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(played().empty()) << "hidden or differently titled windows are passed over";

    screen->put(6, QStringLiteral("Connection Established"), true);
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(played(), OneTune);
    EXPECT_FALSE(screen->flagsSetWhilePlaying);
    EXPECT_TRUE(PDTFound);
    EXPECT_TRUE(PDTDone);
    // Told to free itself once it has ended, it does so at once.
    EXPECT_EQ(screen->connections, 2);
    watcher->setFreeOnTerminate(true);
    EXPECT_EQ(screen->connections, 0);

    // While the tune counts as found (set by another watcher that played) no
    // window is looked at; cleared, an empty caption matches a window without title.
    std::unique_ptr<TPDTThread> next(tuneWatcher(QString(), QStringLiteral("a.wav")));
    PDTFound = true;
    screen->put(10, QString(), true);
    std::this_thread::sleep_for(3 * TWindowWatcher::FlagCheck);
    EXPECT_EQ(played(), OneTune);
    PDTFound = false;
    ASSERT_TRUE(eventually([&] { return next->Finished(); }));
}

// The wizard starts a tune watcher on every entry into its dialing page.
TEST_F(WatchersTest, ANewTuneWatcherEndsTheOneWaitingButNotOnePlaying)
{
    screen->tuneLength = 300ms;
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("first.wav"))->setFreeOnTerminate(true);
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("second.wav"))->setFreeOnTerminate(true);
    ASSERT_TRUE(eventually([&] { return screen->connections == 2; }));

    screen->put(1, QStringLiteral("Connected"), true);
    ASSERT_TRUE(eventually([&] { return !played().empty(); }));
    tuneWatcher(QStringLiteral("Never shown"), QStringLiteral("third.wav"))->setFreeOnTerminate(true);
    // The tune plays to its end; its flags end the newest watcher too.
    ASSERT_TRUE(eventually([&] { return screen->connections == 0; }));
    EXPECT_EQ(played(), std::vector<QString> { QStringLiteral("second.wav") });
}

TEST_F(WatchersTest, HiderHidesTheFirstMatchOnlyAndReleasesItself)
{
    screen->put(1, QStringLiteral("Connected to Home"), true);
    screen->put(2, QStringLiteral("Connected to Home"), true);
    new TFWThread(QStringLiteral("Connected to Home"), std::make_unique<FakeConnection>(screen));
    ASSERT_TRUE(eventually([&] { return screen->connections == 0; }));
    EXPECT_TRUE(FWDone);
    EXPECT_EQ(screen->hidden, std::vector<DesktopWindows::WindowId> { 1 }); // the hider has ended
}

// As on a desktop without X: the hider has nothing to do, the tune still
// plays on request, once; a request from before the watcher is old.
TEST_F(WatchersTest, WithoutDisplayTheHiderEndsAndTheTunePlaysOnRequest)
{
    screen->broken = true; // before any watcher runs
    PDTPlayNow = true;
    std::unique_ptr<TPDTThread> tune(tuneWatcher(QStringLiteral("Connected"), QStringLiteral("a.wav")));
    new TFWThread(QStringLiteral("Connected"), std::make_unique<FakeConnection>(screen));
    ASSERT_TRUE(eventually([&] { return screen->connections == 2; }));
    std::this_thread::sleep_for(2 * TWindowWatcher::FlagCheck);
    EXPECT_TRUE(played().empty());

    PDTPlayNow = true;
    ASSERT_TRUE(eventually([&] { return tune->Finished(); }));
    EXPECT_EQ(played(), OneTune);
    EXPECT_FALSE(PDTPlayNow) << "the request is used up";
}

} // namespace
