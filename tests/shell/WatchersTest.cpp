// The tune watcher and the window hider against a desktop and a sound device
// in memory.
#include "platform/DesktopWindows.h"
#include "platform/Sound.h"
#include "shell/WindowWatchers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    int generation = 0;
    int passes = 0;
    int connections = 0;
    bool broken = false;
    std::vector<QString> played;
    std::chrono::milliseconds tuneLength { 0 };
    bool flagsSetWhilePlaying = false;
    int cut = 0; // tunes stopped before their end

    // Adds the window or updates the one with the same id.
    void put(DesktopWindows::WindowId id, const QString& title, bool visible)
    {
        const std::lock_guard lock(mutex);
        const auto it = std::find_if(windows.begin(), windows.end(), [id](const auto& w) { return w.id == id; });
        if (it == windows.end())
            windows.push_back({ id, title, visible });
        else
            *it = { id, title, visible };
        ++generation;
        changed.notify_all();
    }
    // A copy of `field`, read under the lock.
    template <typename T> T read(const T& field)
    {
        const std::lock_guard lock(mutex);
        return field;
    }
};

class FakeDesktop final : public DesktopWindows
{
public:
    explicit FakeDesktop(std::shared_ptr<FakeScreen> screen)
        : screen_(std::move(screen))
    {
        const std::lock_guard lock(screen_->mutex);
        ++screen_->connections;
    }
    ~FakeDesktop() override
    {
        const std::lock_guard lock(screen_->mutex);
        --screen_->connections;
    }
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
        for (auto& w : screen_->windows)
            w.visible = w.visible && w.id != window;
        return true;
    }
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override
    {
        std::unique_lock lock(screen_->mutex);
        screen_->changed.wait_for(
            lock, stop, timeout, [this] { return screen_->broken || screen_->generation != seen_; });
        if (screen_->broken)
            return Wait::Broken;
        if (screen_->generation == seen_)
            return Wait::Quiet;
        seen_ = screen_->generation;
        return Wait::Changed;
    }

private:
    std::shared_ptr<FakeScreen> screen_;
    int seen_ = -1;
};

// Plays for the screen's tuneLength, or until stopped.
class FakeSound final : public vorn::Sound
{
public:
    explicit FakeSound(std::shared_ptr<FakeScreen> screen)
        : screen_(std::move(screen))
    {
    }
    bool play(const QString& file, std::stop_token stop) override
    {
        std::unique_lock lock(screen_->mutex);
        screen_->played.push_back(file);
        screen_->changed.wait_for(lock, stop, screen_->tuneLength, [] { return false; });
        screen_->flagsSetWhilePlaying = screen_->flagsSetWhilePlaying || PDTFound || PDTDone;
        screen_->cut += stop.stop_requested() ? 1 : 0;
        return !stop.stop_requested();
    }

private:
    std::shared_ptr<FakeScreen> screen_;
};

bool eventually(const std::function<bool()>& pred)
{
    return vorn::test::waitUntil(pred, 5s);
}

class WatchersTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();

    void SetUp() override
    {
        PDTFound = false;
        PDTDone = false;
        FWDone = false;
    }
    void TearDown() override { stopAllWatchers(); }

    TPDTThread* tuneWatcher(const QString& caption, const QString& tune)
    {
        return new TPDTThread(
            caption, tune, std::make_unique<FakeDesktop>(screen), std::make_unique<FakeSound>(screen));
    }
    void windowHider(const QString& caption) { new TFWThread(caption, std::make_unique<FakeDesktop>(screen)); }
    std::vector<QString> played() { return screen->read(screen->played); }
    int connections() { return screen->read(screen->connections); }

    // Lets a watcher make a few passes over the present windows.
    void letPassesRun()
    {
        const int before = screen->read(screen->passes);
        screen->put(999, QStringLiteral("unrelated"), true);
        ASSERT_TRUE(eventually([&] { return screen->read(screen->passes) > before; }));
        std::this_thread::sleep_for(50ms);
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
    letPassesRun();
    EXPECT_TRUE(played().empty()) << "hidden or differently titled windows are passed over";

    screen->put(1, QStringLiteral("Connection Established"), true);
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(played(), OneTune);
    EXPECT_FALSE(screen->read(screen->flagsSetWhilePlaying));
    EXPECT_TRUE(PDTFound);
    EXPECT_TRUE(PDTDone);
    // Told to free itself once it has ended, it does so at once.
    EXPECT_EQ(connections(), 1);
    watcher->setFreeOnTerminate(true);
    EXPECT_EQ(connections(), 0);

    // An empty caption matches a window without a title.
    PDTDone = false;
    screen->put(10, QString(), true);
    tuneWatcher(QString(), QStringLiteral("a.wav"))->setFreeOnTerminate(true);
    ASSERT_TRUE(eventually([&] { return PDTDone.load(); }));
}

// The wizard starts a tune watcher on every entry into its dialing page.
TEST_F(WatchersTest, ANewTuneWatcherEndsTheOneWaitingButNotOnePlaying)
{
    screen->tuneLength = 300ms;
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("first.wav"))->setFreeOnTerminate(true);
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("second.wav"))->setFreeOnTerminate(true);
    ASSERT_TRUE(eventually([&] { return connections() == 1; }));

    screen->put(1, QStringLiteral("Connected"), true);
    ASSERT_TRUE(eventually([&] { return !played().empty(); }));
    tuneWatcher(QStringLiteral("Never shown"), QStringLiteral("third.wav"))->setFreeOnTerminate(true);
    // The tune plays to its end; its flags end the newest watcher too.
    ASSERT_TRUE(eventually([&] { return connections() == 0; }));
    EXPECT_EQ(played(), std::vector<QString> { QStringLiteral("second.wav") });
    EXPECT_EQ(screen->read(screen->cut), 0);
    EXPECT_TRUE(PDTFound);
}

TEST_F(WatchersTest, TuneWatcherWaitsWhileFoundAndResumesWhenCleared)
{
    std::unique_ptr<TPDTThread> watcher(tuneWatcher(QStringLiteral("Connected"), QStringLiteral("a.wav")));
    EXPECT_FALSE(PDTFound) << "construction clears it";
    letPassesRun();

    PDTFound = true;
    std::this_thread::sleep_for(2 * TWindowWatcher::FlagCheck);
    const int passes = screen->read(screen->passes);
    screen->put(1, QStringLiteral("Connected"), true);
    std::this_thread::sleep_for(3 * TWindowWatcher::FlagCheck);
    EXPECT_EQ(screen->read(screen->passes), passes) << "no listing while found";
    EXPECT_TRUE(played().empty());

    PDTFound = false;
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(played(), OneTune);
}

TEST_F(WatchersTest, HiderHidesTheFirstMatchOnlyAndReleasesItself)
{
    screen->put(1, QStringLiteral("Connected to Home"), true);
    screen->put(2, QStringLiteral("Connected to Home"), true);
    windowHider(QStringLiteral("Connected to Home"));
    ASSERT_TRUE(eventually([&] { return connections() == 0; }));
    EXPECT_TRUE(FWDone);
    EXPECT_EQ(screen->read(screen->hidden), std::vector<DesktopWindows::WindowId> { 1 });
}

TEST_F(WatchersTest, StopAllEndsWaitingAndPlayingWatchers)
{
    screen->tuneLength = 60s;
    windowHider(QStringLiteral("never shown"));
    tuneWatcher(QStringLiteral("never shown"), QStringLiteral("a.wav"))->setFreeOnTerminate(true);
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("long.wav"))->setFreeOnTerminate(true);
    screen->put(1, QStringLiteral("Connected"), true);
    ASSERT_TRUE(eventually([&] { return !played().empty(); }));

    stopAllWatchers();
    EXPECT_EQ(connections(), 0);
    EXPECT_FALSE(FWDone);
}

// As on a desktop without X: the hider has nothing to do, the tune still
// plays on request, once; a request from before the watcher is old.
TEST_F(WatchersTest, WithoutDisplayTheHiderEndsAndTheTunePlaysOnRequest)
{
    screen->broken = true; // before any watcher runs
    PDTPlayNow = true;
    std::unique_ptr<TPDTThread> tune(tuneWatcher(QStringLiteral("Connected"), QStringLiteral("a.wav")));
    windowHider(QStringLiteral("Connected"));
    ASSERT_TRUE(eventually([&] { return connections() == 1; }));
    std::this_thread::sleep_for(2 * TWindowWatcher::FlagCheck);
    EXPECT_FALSE(tune->Finished());
    EXPECT_TRUE(played().empty());
    EXPECT_FALSE(FWDone);

    PDTPlayNow = true;
    ASSERT_TRUE(eventually([&] { return tune->Finished(); }));
    EXPECT_EQ(played(), OneTune);
    EXPECT_TRUE(PDTFound);
    EXPECT_TRUE(PDTDone);
    EXPECT_FALSE(PDTPlayNow) << "the request is used up";
}

} // namespace
