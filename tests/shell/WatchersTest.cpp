// The tune watcher and the window hider against an in-memory desktop.
#include "WatcherFakes.h"
#include "shell/WindowWatchers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using vorn::test::FakeDesktop;
using vorn::test::FakeScreen;
using vorn::test::FakeSound;
using vorn::test::FakeSpeaker;

namespace
{

bool eventually(const std::function<bool()>& pred)
{
    return vorn::test::waitUntil(pred, 5s);
}

class WatchersTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::shared_ptr<FakeSpeaker> speaker = std::make_shared<FakeSpeaker>();

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
            caption, tune, std::make_unique<FakeDesktop>(screen), std::make_unique<FakeSound>(speaker));
    }

    TFWThread* windowHider(const QString& caption)
    {
        return new TFWThread(caption, std::make_unique<FakeDesktop>(screen));
    }

    // Lets a watcher make a few passes over the present windows.
    void letPassesRun()
    {
        const int before = screen->read(screen->passes);
        screen->put(999, QStringLiteral("unrelated"), true);
        ASSERT_TRUE(eventually([&] { return screen->read(screen->passes) > before; }));
        std::this_thread::sleep_for(50ms);
    }
};

TEST_F(WatchersTest, TunePlaysOnceTheWindowIsShownAndFlagsFollowTheSound)
{
    speaker->length = 200ms;
    screen->put(1, QStringLiteral("Other"), true);
    screen->put(2, QStringLiteral("Connection Established"), false);
    std::unique_ptr<TPDTThread> watcher(tuneWatcher(QStringLiteral("Connection Established"), QStringLiteral("a.wav")));

    letPassesRun();
    EXPECT_TRUE(speaker->playedFiles().empty()) << "a hidden window is passed over";

    screen->put(2, QStringLiteral("Connection Established"), true);
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(speaker->playedFiles(), std::vector<QString> { QStringLiteral("a.wav") });
    EXPECT_FALSE(speaker->flagsSetWhilePlaying);
    EXPECT_TRUE(PDTFound);
    EXPECT_TRUE(PDTDone);
}

TEST_F(WatchersTest, PlayNowRequestPlaysOnceWithoutAWindow)
{
    PDTPlayNow = true;
    std::unique_ptr<TPDTThread> watcher(tuneWatcher(QStringLiteral("Never Shown"), QStringLiteral("a.wav")));
    letPassesRun();
    EXPECT_TRUE(speaker->playedFiles().empty()) << "a request from before the watcher is old";

    PDTPlayNow = true;
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(speaker->playedFiles(), std::vector<QString> { QStringLiteral("a.wav") });
    EXPECT_TRUE(PDTFound);
    EXPECT_FALSE(PDTPlayNow) << "the request is used up";
}

TEST_F(WatchersTest, OnlyTheExactTitleMatches)
{
    screen->put(1, QStringLiteral("connection established"), true);
    screen->put(2, QStringLiteral("Connection Established "), true);
    screen->put(3, QStringLiteral(" Connection Established"), true);
    screen->put(4, QStringLiteral("Connection Establishe"), true);
    auto* watcher = tuneWatcher(QStringLiteral("Connection Established"), QStringLiteral("a.wav"));
    watcher->setFreeOnTerminate(true);

    letPassesRun();
    EXPECT_TRUE(speaker->playedFiles().empty());
    EXPECT_FALSE(PDTDone);

    screen->put(5, QStringLiteral("Connection Established"), true);
    ASSERT_TRUE(eventually([&] { return PDTDone.load(); }));
    EXPECT_EQ(speaker->playedFiles().size(), 1u);

    // An empty caption matches a window without a title.
    PDTDone = false;
    screen->put(6, QString(), true);
    tuneWatcher(QString(), QStringLiteral("a.wav"))->setFreeOnTerminate(true);
    ASSERT_TRUE(eventually([&] { return PDTDone.load(); }));
}

// The wizard starts a tune watcher on every entry into its dialing page.
TEST_F(WatchersTest, ANewTuneWatcherEndsTheOneWaitingButNotOnePlaying)
{
    speaker->length = 300ms;
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("first.wav"))->setFreeOnTerminate(true);
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("second.wav"))->setFreeOnTerminate(true);
    ASSERT_TRUE(eventually([&] { return screen->read(screen->connections) == 1; }));

    screen->put(1, QStringLiteral("Connected"), true);
    ASSERT_TRUE(eventually([&] { return !speaker->playedFiles().empty(); }));
    tuneWatcher(QStringLiteral("Never shown"), QStringLiteral("third.wav"))->setFreeOnTerminate(true);
    // The tune plays to its end; its flags end the newest watcher too.
    ASSERT_TRUE(eventually([&] { return screen->read(screen->connections) == 0; }));
    EXPECT_EQ(speaker->playedFiles(), std::vector<QString> { QStringLiteral("second.wav") });
    EXPECT_EQ(speaker->cut, 0);
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
    EXPECT_TRUE(speaker->playedFiles().empty());

    PDTFound = false;
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(speaker->playedFiles().size(), 1u);
}

TEST_F(WatchersTest, HiderHidesTheFirstMatchOnlyAndReleasesItself)
{
    screen->put(1, QStringLiteral("Connected to Home"), true);
    screen->put(2, QStringLiteral("Connected to Home"), true);
    windowHider(QStringLiteral("Connected to Home"));
    ASSERT_TRUE(eventually([&] { return screen->read(screen->connections) == 0; }));
    EXPECT_TRUE(FWDone);
    EXPECT_EQ(screen->read(screen->hidden), std::vector<vorn::DesktopWindows::WindowId> { 1 });

    // Ended: showing the window again hides nothing.
    screen->put(1, QStringLiteral("Connected to Home"), true);
    std::this_thread::sleep_for(2 * TWindowWatcher::FlagCheck);
    EXPECT_EQ(screen->read(screen->hidden).size(), 1u);
}

TEST_F(WatchersTest, StopAllEndsWaitingAndPlayingWatchers)
{
    speaker->length = 60s;
    windowHider(QStringLiteral("never shown"));
    tuneWatcher(QStringLiteral("never shown"), QStringLiteral("a.wav"))->setFreeOnTerminate(true);
    tuneWatcher(QStringLiteral("Connected"), QStringLiteral("long.wav"))->setFreeOnTerminate(true);
    screen->put(1, QStringLiteral("Connected"), true);
    ASSERT_TRUE(eventually([&] { return !speaker->playedFiles().empty(); }));

    stopAllWatchers();
    EXPECT_EQ(screen->read(screen->connections), 0);
    EXPECT_FALSE(FWDone);
}

// As on a desktop without X: the hider has nothing to do, the tune still plays on request.
TEST_F(WatchersTest, WithoutDisplayTheHiderEndsAndTheTunePlaysOnRequest)
{
    screen->breakConnections();
    std::unique_ptr<TPDTThread> tune(tuneWatcher(QStringLiteral("Connected"), QStringLiteral("a.wav")));
    windowHider(QStringLiteral("Connected"));
    ASSERT_TRUE(eventually([&] { return screen->read(screen->connections) == 1; }));
    std::this_thread::sleep_for(2 * TWindowWatcher::FlagCheck);
    EXPECT_FALSE(tune->Finished());
    EXPECT_FALSE(PDTDone);
    EXPECT_FALSE(FWDone);

    PDTPlayNow = true;
    ASSERT_TRUE(eventually([&] { return tune->Finished(); }));
    EXPECT_EQ(speaker->playedFiles(), std::vector<QString> { QStringLiteral("a.wav") });
    EXPECT_TRUE(PDTDone);
}

TEST_F(WatchersTest, SelfDisposalTurnedOnAfterTheRunReleasesAtOnce)
{
    screen->put(1, QStringLiteral("Connected"), true);
    auto* watcher = tuneWatcher(QStringLiteral("Connected"), QStringLiteral("a.wav"));
    ASSERT_TRUE(eventually([&] { return watcher->Finished(); }));
    EXPECT_EQ(screen->read(screen->connections), 1);
    watcher->setFreeOnTerminate(true);
    EXPECT_EQ(screen->read(screen->connections), 0);
}

} // namespace
