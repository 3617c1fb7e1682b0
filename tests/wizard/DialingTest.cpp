// The dialing loop, the connect and disconnect handlers and the connection
// monitor, against a service whose lines answer on a script.
#include "DialingFixture.h"
#include "rascomp/Rascomp32.h"
#include "settings/Statistics.h"
#include "shell/WindowWatchers.h"
#include "support/FakeRemoteAccess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QMenu>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace
{

TEST_F(DialingTest, FailingEntriesAreDialedInSortedOrderWithAPauseAfterEach)
{
    startDialer({ "Office", "backup", "Home" }, { "Office", "backup", "Home" });
    for (const char* entry : { "Office", "backup", "Home" })
        lines->outcomes[entry] = Outcome::Busy;
    dial(3500, [this] { window->btnAbort->click(); });

    ASSERT_GE(lines->calls.size(), 4u);
    EXPECT_EQ(lines->dialed().mid(0, 4), (QStringList { "backup", "Home", "Office", "backup" }));
    for (std::size_t i = 1; i < lines->calls.size(); ++i)
        EXPECT_GE(dialedAt(i) - lines->calls.at(i - 1).hungUpAt, 1000) << "pause before call " << i;
}

TEST_F(DialingTest, SkipEndsTheAttemptAtOnceAndTwoSkipsInOneAttemptSkipOneEntry)
{
    TfrmSelect& w = startDialer({ "A", "B", "C" }, { "A", "B", "C" });
    qint64 skippedAt = -1;
    QTimer::singleShot(200, &w, [&] {
        skippedAt = lines->clock.elapsed();
        w.btnSkip->click();
        w.btnSkip->click();
    });
    dial(1600, [&] { w.btnAbort->click(); });

    ASSERT_EQ(lines->dialed(), (QStringList { "A", "B" }));
    // At once, not after the pause (1 s) that follows every attempt.
    EXPECT_LT(lines->calls.at(0).hungUpAt - skippedAt, 500) << "the skip took effect at once";
    EXPECT_GE(dialedAt(1) - lines->calls.at(0).hungUpAt, 1000);
    EXPECT_EQ(lines->hangUps(), 2) << "A by the loop, B by Abort";
}

TEST_F(DialingTest, SkipDuringThePauseDropsTheNextEntryAtItsFirstPoll)
{
    TfrmSelect& w = startDialer({ "A", "B" }, { "A", "B" });
    QTimer::singleShot(200, &w, [&] { w.btnSkip->click(); }); // ends A
    QTimer::singleShot(500, &w, [&] { w.btnSkip->click(); }); // in the pause
    dial(2500, [&] { w.btnAbort->click(); });

    ASSERT_GE(lines->calls.size(), 3u);
    EXPECT_EQ(lines->dialed().mid(0, 3), (QStringList { "A", "B", "A" }));
    EXPECT_LT(lines->calls.at(1).hungUpAt - dialedAt(1), 500);
}

TEST_F(DialingTest, AbortHangsUpOnceShowsTheSelectionPageAndEndsAfterThePause)
{
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    const qint64 ran = dial(300, [&] { w.btnAbort->click(); });

    EXPECT_EQ(lines->dialed(), QStringList { "A" });
    EXPECT_EQ(lines->hangUps(), 1);
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_TRUE(w.StopDialing);
    EXPECT_GE(ran, 1300);
    EXPECT_LT(ran, 2300) << "the loop ends after its one pause, not another";
}

TEST_F(DialingTest, CloseDuringDialingHangsUpAndEndsTheLoop)
{
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    dial(300, [&] { w.close(); });
    EXPECT_EQ(lines->hangUps(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(lines->calls.size(), 1u);
}

TEST_F(DialingTest, ATuneWatcherStartsOnEveryEntryToTheDialingPageWhenPlayTuneIs1)
{
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    store(stats::ProgramKey, "PlayTune", Variant(qint32(1)));
    store(stats::ProgramKey, "Tune", Variant(QStringLiteral("/tunes/ding.wav")));
    dial(100, [&] { w.btnAbort->click(); });
    dial(100, [&] { w.btnAbort->click(); });
    EXPECT_EQ(tuneWatchers, QStringList(2, "Dial-up Finished|/tunes/ding.wav"));
}

TEST_F(DialingTest, ConnectingOnTheSecondEntryCountsItAndMovesToTheTray)
{
    TfrmSelect& w = startDialer({ "A", "B" }, { "A", "B" });
    lines->outcomes["A"] = Outcome::Busy;
    connectOn("B");
    const Variant untouched = stored(entryKey("A"), "LastAccess");
    dial();

    EXPECT_EQ(lines->dialed(), (QStringList { "A", "B" }));
    EXPECT_EQ(lines->hangUps(), 1) << "the connected line stays up";
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    EXPECT_EQ(w.lblEntry->text(), "B");
    EXPECT_EQ(stored(entryKey("B"), "Accesses").toInt(), 1);
    EXPECT_NE(stored(entryKey("B"), "LastAccess").toString(), stats::NeverAccessed);
    EXPECT_EQ(stored(entryKey("A"), "Accesses").toInt(), 0);
    EXPECT_EQ(stored(entryKey("A"), "LastAccess"), untouched);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_TRUE(tray->tip.startsWith("Connected to B: ")) << tray->tip.toStdString();
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(windowHiders, QStringList { "Connected to B" });
}

class MonitorTest : public DialingTest
{
protected:
    TfrmSelect& connected(const QString& totalTime = QStringLiteral("00:01:00"))
    {
        TfrmSelect& w = startDialer({ "A" }, { "A" });
        store(entryKey("A"), "TotalTime", Variant(totalTime));
        connectOn("A");
        dial();
        // Ticks are driven by the test from here on.
        w.Timer1->stop();
        ticksSoFar = w.ConnectedSeconds;
        return w;
    }
    qint32 ticksSoFar = 0;
};

TEST_F(MonitorTest, UnreadableTotalTimeIsReportedOnceAndTheMonitorGoesOn)
{
    TfrmSelect& w = connected(QStringLiteral("soon"));
    for (int i = 0; i < 3; ++i)
        w.Timer1Timer();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, R"(A: "TotalTime" holds "soon", which is not a duration (hh:mm:ss))");
    EXPECT_EQ(stored(entryKey("A"), "LastTime").toString(), SecondsToDuration(ticksSoFar + 3));
    EXPECT_EQ(tray->tip, "Connected to A: " + w.lblTime->text());

    lines->dropLines();
    w.Timer1Timer();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages.back().text, "Connection has been broken!");
}

TEST_F(MonitorTest, BrokenLineIsReportedAndTheWizardStartsOver)
{
    TfrmSelect& w = connected();
    w.Timer1->start();
    lines->dropLines();
    w.Timer1Timer();

    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Connection has been broken!");
    EXPECT_EQ(prompts.messages[0].title, "Information");
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.btnPrev->isEnabled());
    EXPECT_TRUE(w.btnNext->isEnabled() && w.btnNext->isVisible());
    EXPECT_FALSE(tray->shown);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(w.ConList->subItems(0).value(0), "1") << "the list shows the new statistics";
}

TEST_F(MonitorTest, AnotherProgramsConnectionHidesTheDrop)
{
    TfrmSelect& w = connected();
    lines->connections.push_back(FakeRemoteAccess::connection(999, "Elsewhere"));
    lines->dropLines();
    w.Timer1Timer();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
}

TEST_F(MonitorTest, TrayClickShowsTheWindowWithoutCloseAndHideWindowHidesIt)
{
    TfrmSelect& w = connected();
    tray->handler(NotificationArea::MouseAction::LeftRelease);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.btnClose->isHidden());
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    w.Button1->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(tray->shown);
}

TEST_F(MonitorTest, DisconnectFromTheTrayMenuHangsUpAndShowsTheSelectionPage)
{
    TfrmSelect& w = connected();
    w.Timer1->start();
    w.Disconnect1->trigger();
    EXPECT_EQ(lines->hangUps(), 1);
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.btnPrev->isEnabled()) << "even though the welcome page is on";
    EXPECT_TRUE(w.btnNext->isEnabled() && w.btnClose->isEnabled() && w.btnClose->isVisible());
    EXPECT_FALSE(tray->shown);
    EXPECT_FALSE(w.Timer1->isActive());
}

TEST_F(DialingTest, WhyAnAttemptFailedStaysOnScreenThroughThePause)
{
    // A line that fails, and a dial request the service refuses at once.
    for (const bool refused : { false, true }) {
        SCOPED_TRACE(refused);
        TfrmSelect& w = startDialer({ "A" }, { "A" });
        lines->outcomes["A"] = Outcome::Busy;
        lines->dialResult = refused ? vorn::ras::CannotOpenPhonebook : 0;
        lines->errorTexts[vorn::ras::LineBusy] = "The line is busy.";
        lines->errorTexts[vorn::ras::CannotOpenPhonebook] = "The dial-up service is not running.";
        QString duringPause;
        QTimer::singleShot(refused ? 300 : 700, &w, [&] { duringPause = w.lblStatus->text(); });
        dial(refused ? 400 : 800, [&] { w.btnAbort->click(); });
        EXPECT_EQ(duringPause, refused ? "The dial-up service is not running." : "The line is busy.");
    }
}

TEST_F(MonitorTest, ElapsedTimeIsADurationPastOneDay)
{
    TfrmSelect& w = connected();
    w.ConnectStart = QDateTime::currentDateTime().addSecs(-(25 * 3600 + 3));
    w.Timer1Timer();
    EXPECT_EQ(w.lblTime->text(), "25:00:03");
    EXPECT_EQ(tray->tip, "Connected to A: 25:00:03");
}

TEST_F(DialingTest, TheWindowHidesOnlyBehindAnIconTheShellTook)
{
    // No tray host, and a host that refuses the icon: hiding would lose the window.
    for (const bool hostAvailable : { false, true }) {
        SCOPED_TRACE(hostAvailable);
        TfrmSelect& w = startDialer({ "A" }, { "A" });
        const int hungUpBefore = lines->hangUps();
        tray->hostAvailable = hostAvailable;
        tray->accepts = false;
        connectOn("A");
        dial();
        EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
        EXPECT_TRUE(w.isVisible());
        // The button hangs up instead.
        EXPECT_EQ(w.Button1->text(), "&Disconnect");
        w.Button1->click();
        EXPECT_EQ(lines->hangUps(), hungUpBefore + 1);
        EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
        EXPECT_FALSE(w.Timer1->isActive());
    }
}

TEST_F(MonitorTest, TheWindowComesBackWhenTheTrayHostGoesAway)
{
    TfrmSelect& w = connected();
    ASSERT_FALSE(w.isVisible());
    tray->hostAvailable = false;
    w.Timer1Timer();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    EXPECT_EQ(w.Button1->text(), "&Disconnect");
}

TEST_F(DialingTest, AHiveFailureAtConnectIsShownOnceAndTheMonitorRuns)
{
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    connectOn("A");
    QObject::connect(w.Notebook1, &QStackedWidget::currentChanged, &w, [this](int page) {
        if (page == TfrmSelect::pgStatIndex)
            registry->createResult = vorn::reg::AccessDenied;
    });
    dial();
    w.Timer1->stop();
    w.Timer1Timer();
    w.Timer1Timer();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "The statistics of A cannot be saved (Reg Error: 00000005).");
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->tip, "Connected to A: " + w.lblTime->text());
}

TEST_F(DialingTest, ASkipLeftOverFromTheLastRunDoesNotSkipTheNextRunsFirstEntry)
{
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    QTimer::singleShot(200, &w, [&] { w.btnSkip->click(); }); // ends the attempt
    QTimer::singleShot(400, &w, [&] { w.btnSkip->click(); }); // in the last pause
    dial(600, [&] { w.btnAbort->click(); });
    dial(500, [&] { w.btnAbort->click(); });
    ASSERT_EQ(lines->dialed(), (QStringList { "A", "A" }));
    EXPECT_GE(lines->calls.at(1).hungUpAt - dialedAt(1), 400) << "rang until Abort";
}

// Without a title to wait for, nothing watches for it and the tune plays at connect.
TEST_F(DialingTest, AnEmptyCaptionStartsNoTuneWatcherAndTheTunePlaysAtConnect)
{
    for (const bool noDialerWindow : { false, true }) {
        SCOPED_TRACE(noDialerWindow);
        if (noDialerWindow)
            lines->captionTemplate.clear();
        store(stats::ProgramKey, "PDTCaption", Variant(noDialerWindow ? "Dial-up Finished" : ""));
        tuneWatchers.clear();
        windowHiders.clear();
        TfrmSelect& w = startDialer({ "A" }, { "A" });
        store(stats::ProgramKey, "PlayTune", Variant(qint32(1)));
        store(stats::ProgramKey, "Tune", Variant(QStringLiteral("/tunes/ding.wav")));
        connectOn("A");
        qsizetype watchersWhileDialing = -1;
        QObject::connect(w.Notebook1, &QStackedWidget::currentChanged, &w, [&](int page) {
            if (page == TfrmSelect::pgStatIndex)
                watchersWhileDialing = tuneWatchers.size();
        });
        PDTPlayNow = false;
        dial();
        EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
        EXPECT_TRUE(PDTPlayNow);
        PDTPlayNow = false;
        if (noDialerWindow) {
            EXPECT_TRUE(windowHiders.isEmpty());
        } else {
            EXPECT_EQ(watchersWhileDialing, 0) << "an untitled window must not start the tune";
            EXPECT_EQ(tuneWatchers, QStringList { "|/tunes/ding.wav" });
        }
    }
}

} // namespace
