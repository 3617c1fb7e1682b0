// The decisions of a dialing run: next entry, pause, drop and stop.
#include "rascomp/DialCycle.h"

#include <gtest/gtest.h>

using namespace cycle;
using std::chrono::milliseconds;

namespace
{

constexpr int Busy = 676, NoDialTone = 680, Refused = 691, NoEntry = 623;

// Runs attempts that fail with `failures` (by entry) until the run ends or
// `attempts` were made; returns the entries dialed and the pauses between.
struct Trace {
    QStringList dialed;
    std::vector<long> pauses;
    DialCycle::Verdict last;
};
Trace run(DialCycle& cycle, const QHash<QString, int>& failures, int attempts, int otherwise = Busy)
{
    Trace trace;
    for (int i = 0; i < attempts && trace.last.end == DialCycle::End::None; ++i) {
        trace.dialed.append(cycle.current());
        trace.last = cycle.attemptEnded(failures.value(cycle.current(), otherwise), QStringLiteral("why"));
        if (trace.last.end == DialCycle::End::None)
            trace.pauses.push_back(long(trace.last.pause.count()));
    }
    return trace;
}

const QStringList Three = { QStringLiteral("backup"), QStringLiteral("Home"), QStringLiteral("Office") };

TEST(DialCycle, DefaultsRetryEveryKindInTurnWithTheFixedPause)
{
    DialCycle cycle(Three, Rules {});
    const Trace trace = run(cycle, { { "backup", Refused }, { "Home", NoDialTone }, { "Office", NoEntry } }, 7);
    EXPECT_EQ(trace.dialed.join(u','), "backup,Home,Office,backup,Home,Office,backup");
    EXPECT_EQ(trace.pauses, std::vector<long>(7, 1000));
    EXPECT_EQ(trace.last.end, DialCycle::End::None);
}

TEST(DialCycle, EachKindFollowsItsOwnAction)
{
    const std::pair<int, FailureKind> codes[] = { { Busy, FailureKind::Line }, { 678, FailureKind::Line },
        { 679, FailureKind::Line }, { 638, FailureKind::Line }, { NoDialTone, FailureKind::Device },
        { 692, FailureKind::Device }, { Refused, FailureKind::Account }, { 649, FailureKind::Account },
        { NoEntry, FailureKind::Other }, { 720, FailureKind::Other } };
    for (const auto& [code, kind] : codes) {
        EXPECT_EQ(kindOf(code), kind) << code;
        for (const Action action : { Action::Retry, Action::Drop, Action::Stop }) {
            Rules rules;
            rules.on(kind) = action;
            DialCycle cycle(Three, rules);
            // Home fails with the code, the others are skipped.
            const Trace trace = run(cycle, { { "Home", code } }, 5, 0);
            const QString label = QStringLiteral("%1 %2").arg(code).arg(actionName(action));
            if (action == Action::Stop) {
                EXPECT_EQ(trace.last.end, DialCycle::End::Stopped) << qPrintable(label);
                EXPECT_EQ(
                    trace.last.message, "Dialing stopped: Home failed (error " + QString::number(code) + ": why).");
            } else if (action == Action::Drop) {
                EXPECT_EQ(trace.dialed.join(u','), "backup,Home,Office,backup,Office") << qPrintable(label);
            } else {
                EXPECT_EQ(trace.dialed.join(u','), "backup,Home,Office,backup,Home") << qPrintable(label);
            }
        }
    }
}

TEST(DialCycle, EveryEntryDroppedEndsWithEachLastFailure)
{
    Rules rules;
    rules.on(FailureKind::Account) = Action::Drop;
    rules.on(FailureKind::Device) = Action::Drop;
    DialCycle cycle(Three, rules);
    const Trace trace = run(cycle, { { "backup", NoDialTone }, { "Home", Refused }, { "Office", Busy } }, 3);
    EXPECT_EQ(trace.last.end, DialCycle::End::None);
    EXPECT_EQ(cycle.current(), "Office");
    const auto verdict = cycle.attemptEnded(Refused, QStringLiteral("refused"));
    EXPECT_EQ(verdict.end, DialCycle::End::AllDropped);
    EXPECT_EQ(verdict.message,
        "Dialing stopped: every entry was left out.\nbackup: error 680: why\nHome: error 691: why\n"
        "Office: error 691: refused");
}

TEST(DialCycle, SkippedAttemptIsNeverDropped)
{
    Rules rules;
    rules.onFailure = { Action::Stop, Action::Stop, Action::Stop, Action::Stop };
    DialCycle cycle(Three, rules);
    for (const char* entry : { "backup", "Home", "Office", "backup" }) {
        EXPECT_EQ(cycle.current(), entry);
        EXPECT_EQ(cycle.attemptEnded(0).end, DialCycle::End::None);
    }
}

TEST(DialCycle, PauseAfterEachRoundDoublesUpToItsLimit)
{
    Rules rules;
    rules.roundPauseLimit = 5;
    DialCycle cycle({ QStringLiteral("A"), QStringLiteral("B") }, rules);
    const Trace trace = run(cycle, {}, 10);
    EXPECT_EQ(trace.pauses, (std::vector<long> { 1000, 1000, 1000, 2000, 1000, 4000, 1000, 5000, 1000, 5000 }));
    EXPECT_EQ(cycle.round(), 6);
}

TEST(DialCycle, RoundLimitEndsTheRunCountingOnlyEntriesStillIn)
{
    Rules rules;
    rules.roundLimit = 2;
    rules.on(FailureKind::Account) = Action::Drop;
    DialCycle cycle(Three, rules, 1);
    const Trace trace = run(cycle, { { "backup", Refused } }, 10);
    EXPECT_EQ(trace.dialed.join(u','), "Home,Office,backup,Home,Office");
    EXPECT_EQ(trace.last.end, DialCycle::End::RoundsOut);
    EXPECT_EQ(trace.last.message,
        "Dialing stopped: no entry connected in 2 rounds.\nbackup: error 691: why\nHome: error 676: why\n"
        "Office: error 676: why");
}

TEST(DialCycle, NamesReadBackWhatTheyWrite)
{
    for (const FailureKind kind : AllKinds)
        EXPECT_EQ(kindFromName(kindName(kind)), kind);
    for (const Action action : { Action::Retry, Action::Drop, Action::Stop })
        EXPECT_EQ(actionFromName(actionName(action).toUpper()), action);
    EXPECT_EQ(actionFromName(QStringLiteral("sometimes")), std::nullopt);
}

} // namespace
