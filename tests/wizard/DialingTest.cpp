// The dialing loop, the connect and disconnect handlers, the connection
// monitor and the dialing rules, against a service whose lines answer on a script.
#include "WizardFixture.h"
#include "platform/Paths.h"
#include "rascomp/Rascomp32.h"
#include "settings/History.h"
#include "settings/Statistics.h"
#include "shell/WindowWatchers.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;
using Outcome = FakeRemoteAccess::Outcome;

namespace
{

class DialingTest : public WizardTest
{
protected:
    TfrmSelect& startDialer(const QByteArrayList& entries) { return startWith(entries, entries); }
    // Runs the dialing page, doing `action` `afterMs` into it; returns how long the loop ran.
    qint64 dial(int afterMs, const std::function<void()>& action)
    {
        QTimer::singleShot(afterMs, window.get(), action);
        return dial();
    }
    qint64 dial()
    {
        QElapsedTimer running;
        running.start();
        window->Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);
        return running.elapsed();
    }
    qint64 rang(std::size_t call) const { return ras->calls.at(call).hungUpAt - ras->calls.at(call).dialedAt; }
    QString lastMessage() const { return prompts.messages.value(prompts.messages.size() - 1); }
};

// Entries are dialed in sorted order; Skip ends the attempt at once (twice in one
// attempt skips one entry); given in the pause, it drops the next entry at its first poll.
TEST_F(DialingTest, SkipEndsTheAttemptOrDropsTheNextEntryWhenGivenInThePause)
{
    TfrmSelect& w = startDialer({ "C", "a", "B" });
    qint64 skippedAt = -1;
    QTimer::singleShot(200, &w, [&] {
        skippedAt = ras->clock.elapsed();
        w.btnSkip->click();
        w.btnSkip->click();
    });
    QTimer::singleShot(500, &w, [&] { w.btnSkip->click(); });
    dial(2900, [&] { w.btnAbort->click(); });

    ASSERT_EQ(ras->dialed(), (QStringList { "a", "B", "C" }));
    EXPECT_LT(ras->calls.at(0).hungUpAt - skippedAt, 500) << "not after the pause";
    EXPECT_LT(rang(1), 500);
    EXPECT_GE(rang(2), 300) << "C rang until Abort";
}

// After Abort the loop ends after its one pause; a Skip given in that pause is
// not left over to skip the next run's first entry.
TEST_F(DialingTest, AbortAndCloseHangUpOnceAndEndTheLoop)
{
    for (const bool closing : { false, true }) {
        SCOPED_TRACE(closing ? "Close" : "Abort");
        ras = std::make_shared<FakeRemoteAccess>();
        TfrmSelect& w = startDialer({ "A" });
        QTimer::singleShot(600, &w, [&] { w.btnSkip->click(); });
        const qint64 ran = dial(300, [&] { closing ? void(w.close()) : w.btnAbort->click(); });
        EXPECT_EQ(ras->hangUps(), 1);
        EXPECT_EQ(w.isVisible(), !closing);
        EXPECT_LT(ran, 2300) << "the loop ends after its one pause, not another";
        if (!closing) {
            EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
            EXPECT_GE(ran, 1300);
            dial(500, [&] { w.btnAbort->click(); });
            EXPECT_GE(rang(1), 400) << "rang until Abort";
        }
    }
}

// Why an attempt failed stays on screen through the pause: a dial request
// refused at once here, a busy line in the fail-over below.
TEST_F(DialingTest, WhyAnAttemptFailedStaysOnScreenThroughThePause)
{
    TfrmSelect& w = startDialer({ "A" });
    ras->dialResult = ras::CannotOpenPhonebook;
    ras->errorTexts[ras::CannotOpenPhonebook] = "The dial-up service is not running.";
    QString duringPause;
    QTimer::singleShot(300, &w, [&] { duringPause = w.lblStatus->text(); });
    dial(400, [&] { w.btnAbort->click(); });
    EXPECT_EQ(duringPause, "The dial-up service is not running.");
}

// The tune waits for the dialer's window from every start of dialing; without a title
// (an untitled window must not start it) or a window to wait for, it plays at connect.
TEST_F(DialingTest, TheTuneWaitsForTheDialersWindowOrPlaysAtConnect)
{
    store(stats::ProgramKey, "PlayTune", Variant(qint32(1)));
    store(stats::ProgramKey, "Tune", Variant(QStringLiteral("/tunes/ding.wav")));
    const QString waiting = "Dial-up Finished|/tunes/ding.wav";
    const struct {
        const char* caption;
        bool dialerWindow;
        QStringList watchers;
    } cases[] = { { "Dial-up Finished", true, { waiting, waiting } }, { "", true, { "|/tunes/ding.wav" } },
        { "Dial-up Finished", false, { waiting, waiting } } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + (c.dialerWindow ? ", a dialer window" : ", no dialer window"));
        ras = std::make_shared<FakeRemoteAccess>();
        if (!c.dialerWindow)
            ras->captionTemplate.clear();
        store(stats::ProgramKey, "PDTCaption", Variant(c.caption));
        tuneWatchers.clear();
        windowHiders.clear();
        TfrmSelect& w = startDialer({ "A" });
        dial(100, [&] { w.btnAbort->click(); });
        ras->outcomes["A"] = Outcome::Connect;
        PDTPlayNow = false;
        dial();
        EXPECT_EQ(tuneWatchers, c.watchers);
        EXPECT_EQ(PDTPlayNow, !c.dialerWindow || QLatin1String(c.caption).isEmpty());
        EXPECT_EQ(windowHiders, c.dialerWindow ? QStringList { "Connected to A" } : QStringList {});
    }
    PDTPlayNow = false;
}

// A is busy (why shown through the pause), B rings until skipped, C connects:
// counted, in the tray, told to the desktop, and every attempt a row of the history.
TEST_F(DialingTest, AConnectionAfterFailuresIsCountedMovesToTheTrayAndEveryAttemptIsRecorded)
{
    ras->errorTexts[ras::LineBusy] = "The line is busy.";
    ras->outcomes["A"] = Outcome::Busy;
    ras->outcomes["C"] = Outcome::Connect;
    ras->countsTraffic = true;
    TfrmSelect& w = startDialer({ "A", "B", "C" });
    const Variant untouched = stored(entryKey("A"), "LastAccess");
    QString duringPause;
    QTimer::singleShot(700, &w, [&] { duringPause = w.lblStatus->text(); });
    dial(1400, [&] { w.btnSkip->click(); });
    EXPECT_EQ(duringPause, "The line is busy.");

    EXPECT_EQ(ras->hangUps(), 2) << "the connected line stays up";
    ASSERT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    EXPECT_EQ(stored(entryKey("A"), "LastAccess"), untouched);

    w.Timer1->stop();
    ras->bytesIn = 4096;
    ras->bytesOut = 1024;
    w.Timer1Timer();
    EXPECT_EQ(w.ConnectedItem->text(), "Connected to C: " + w.lblTime->text() + " (4.00 KiB in, 1.00 KiB out)");
    ras->breakLines();
    w.Timer1Timer();
    EXPECT_EQ(lastMessage(), "Connection has been broken!");
    EXPECT_EQ(ras->dialed().size(), 3) << "not redialed while the rule is off";
    ASSERT_EQ(notified.size(), 2);
    EXPECT_EQ(notified[0], "Connected to C");
    EXPECT_TRUE(notified[1].startsWith("Connection to C broke after 00:00:")) << notified[1].toStdString();

    ConnectionHistory history(paths::historyFile());
    const auto rows = history.attempts();
    ASSERT_TRUE(rows.has_value()) << history.problem().toStdString();
    QStringList recorded;
    for (const auto& row : *rows) {
        recorded << QStringList { row.entry, row.outcome, QString::number(row.code), row.text,
            QString::number(row.seconds), QString::number(row.bytesIn), QString::number(row.bytesOut) }
                        .join('|');
    }
    EXPECT_TRUE(rows->back().end.contains(QRegularExpression("[+-]\\d\\d:\\d\\d$"))) << rows->back().end.toStdString();
    EXPECT_EQ(recorded,
        QStringList({ "A|failed|676|The line is busy.|0|0|0", "B|skipped|0||0|0|0",
            QStringLiteral("C|connected|629|Connection has been broken!|%1|4096|1024").arg(w.ConnectedSeconds) }));
}

// With "RedialOnBreak" a line that broke is dialed again from its entry; one
// hung up elsewhere is not, and another program's line hides nothing.
TEST_F(DialingTest, ABrokenLineIsRedialedButOneHungUpElsewhereEndsTheConnection)
{
    store(stats::ProgramKey, "RedialOnBreak", Variant(qint32(1)));
    TfrmSelect& w = startDialer({ "A", "B" });
    ras->outcomes["A"] = Outcome::Busy;
    ras->outcomes["B"] = Outcome::Connect;
    dial();
    w.Timer1->stop();
    ras->breakLines();
    QString tipWhileRedialing;
    QTimer::singleShot(10, &w, [&] { tipWhileRedialing = tray->tip; });
    w.Timer1Timer();
    EXPECT_EQ(tipWhileRedialing, "The line to B broke; dialing again");
    EXPECT_EQ(ras->dialed(), (QStringList { "A", "B", "B" }));

    w.Timer1->stop();
    ras->connections.push_back(FakeRemoteAccess::connection(999, "Elsewhere"));
    ras->dropLines();
    w.Timer1Timer();
    EXPECT_TRUE(prompts.messages.empty()) << "another program's connection hides the drop";
    ras->connections.clear();
    w.Timer1Timer();
    EXPECT_EQ(lastMessage(), "Connection has been broken!");
    EXPECT_EQ(ras->dialed(), (QStringList { "A", "B", "B" }));
    EXPECT_EQ(w.ConList->subItems(rowOf("B")).value(0), "2") << "the list shows the new statistics";
}

TEST_F(DialingTest, StopRuleEndsTheRunWithItsReasonAndCountsTheFailure)
{
    store(stats::ProgramKey, "OnAccountFailure", Variant("stop"));
    store(stats::ProgramKey, "OnLineFailure", Variant(qint32(5)));
    TfrmSelect& w = startDialer({ "A", "B" });
    ras->outcomes["A"] = Outcome::Refuse;
    ras->errorTexts[691] = "Refused.";
    EXPECT_LT(dial(), 1000) << "no pause after the last attempt";

    EXPECT_EQ(ras->dialed(), QStringList { "A" });
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_EQ(stored(entryKey("A") + "\\Failures", "691").toInt(), 1);
    EXPECT_EQ(prompts.messages,
        QStringList({ "\"OnLineFailure\" is not retry, drop or stop; retry is used instead.",
            "Dialing stopped: A failed (error 691: Refused.)." }));
    EXPECT_EQ(notified, QStringList { prompts.messages.value(1) });
    store(stats::ProgramKey, stats::Notify, Variant(qint32(0)));
    dial();
    EXPECT_EQ(prompts.messages.size(), 3) << "a bad value is named once";
    EXPECT_EQ(notified.size(), 1) << "turned off";
}

// A statistic that cannot be saved from the connect on, or read, is named once and
// the monitor goes on past a day; the tray menu hangs up without telling the desktop.
TEST_F(DialingTest, TheMonitorGoesOnPastAStatisticsProblemAndTheTrayMenuHangsUp)
{
    for (const bool saving : { true, false }) {
        SCOPED_TRACE(saving ? "cannot be saved" : "cannot be read");
        ras = std::make_shared<FakeRemoteAccess>();
        prompts.messages.clear();
        notified.clear();
        registry->createResult = 0;
        TfrmSelect& w = startDialer({ "A" });
        ras->outcomes["A"] = Outcome::Connect;
        QObject::connect(w.Notebook1, &QStackedWidget::currentChanged, &w, [&, saving](int page) {
            if (saving && page == TfrmSelect::pgStatIndex)
                registry->createResult = reg::AccessDenied;
        });
        dial();
        w.Timer1->stop();
        if (!saving)
            store(entryKey("A"), "TotalTime", Variant("soon"));
        w.ConnectStart = QDateTime::currentDateTime().addSecs(-(25 * 3600 + 3));
        w.Timer1Timer();
        w.Timer1Timer();
        EXPECT_EQ(prompts.messages,
            QStringList { saving ? "The statistics of A cannot be saved (Reg Error: 00000005)."
                                 : R"(A: "TotalTime" holds "soon", which is not a duration (hh:mm:ss))" });
        EXPECT_EQ(tray->tip, "Connected to A: 25:00:03");
    }
    TfrmSelect& w = *window;
    tray->handler(NotificationArea::MouseAction::LeftRelease);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.btnClose->isHidden());
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    w.Button1->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(tray->shown);
    w.Timer1->start();
    w.Disconnect1->trigger();
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_FALSE(w.btnPrev->isEnabled()) << "even though the welcome page is on";
    EXPECT_TRUE(w.btnClose->isVisible());
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(notified, QStringList { "Connected to A" });
}

// Hiding without an icon would lose the window: with no tray host, an icon
// refused, or a host gone later, the window stays and its button hangs up.
TEST_F(DialingTest, WithoutATrayIconTheWindowStaysAndItsButtonHangsUp)
{
    for (const char* how : { "no host", "refused", "host gone" }) {
        SCOPED_TRACE(how);
        ras = std::make_shared<FakeRemoteAccess>();
        TfrmSelect& w = startDialer({ "A" });
        tray->hostAvailable = how != std::string("no host");
        tray->accepts = how == std::string("host gone");
        ras->outcomes["A"] = Outcome::Connect;
        dial();
        if (tray->accepts) {
            ASSERT_FALSE(w.isVisible());
            tray->hostAvailable = false;
            w.Timer1Timer();
        }
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.Button1->text(), "&Disconnect");
        w.Button1->click();
        EXPECT_EQ(ras->hangUps(), 1);
        EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
        EXPECT_FALSE(w.Timer1->isActive());
    }
}

} // namespace
