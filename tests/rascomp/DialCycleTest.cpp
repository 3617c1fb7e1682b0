// The decisions of a dialing run: next entry, pause, drop and stop.
#include "rascomp/DialCycle.h"

#include <gtest/gtest.h>

using namespace cycle;

namespace
{

constexpr int Busy = 676, NoDialTone = 680, Refused = 691;
const QStringList Three = { QStringLiteral("backup"), QStringLiteral("Home"), QStringLiteral("Office") };

// Ends attempts with the entry's code from `failures` (else `otherwise`)
// until the run ends or `attempts` were made.
struct Trace {
    QString dialed;
    std::vector<long> pauses;
    DialCycle::Verdict last;
};
Trace run(DialCycle& cycle, const QHash<QString, int>& failures, int attempts, int otherwise = Busy)
{
    Trace trace;
    for (int i = 0; i < attempts && trace.last.end == DialCycle::End::None; ++i) {
        trace.dialed += cycle.current() + QLatin1Char(' ');
        trace.last = cycle.attemptEnded(failures.value(cycle.current(), otherwise), QStringLiteral("why"));
        trace.pauses.push_back(long(trace.last.pause.count()));
    }
    return trace;
}

TEST(DialCycle, EachKindFollowsItsOwnActionAndASkipIsNeverAFailure)
{
    // One code of each kind (by kindOf); each kind's action is its own.
    const std::pair<int, FailureKind> codes[] = { { Busy, FailureKind::Line }, { NoDialTone, FailureKind::Device },
        { Refused, FailureKind::Account }, { 623, FailureKind::Other } };
    for (const auto& [code, kind] : codes) {
        for (const Action action : { Action::Retry, Action::Drop, Action::Stop }) {
            Rules rules;
            rules.on(kind) = action;
            DialCycle cycle(Three, rules);
            // Home fails with the code; the others are skipped.
            const Trace trace = run(cycle, { { "Home", code } }, 5, 0);
            const char* expected[]
                = { "backup Home Office backup Home ", "backup Home Office backup Office ", "backup Home " };
            EXPECT_EQ(trace.dialed, expected[int(action)]) << code << " " << qPrintable(actionName(action));
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
    const auto verdict = cycle.attemptEnded(Refused, QStringLiteral("refused"));
    EXPECT_EQ(verdict.end, DialCycle::End::AllDropped);
    EXPECT_EQ(verdict.message,
        "Dialing stopped: every entry was left out.\nbackup: error 680: why\nHome: error 691: why\n"
        "Office: error 691: refused");
}

TEST(DialCycle, PauseAfterEachRoundDoublesUpToItsLimit)
{
    Rules rules;
    rules.roundPauseLimit = 5;
    DialCycle cycle({ QStringLiteral("A"), QStringLiteral("B") }, rules);
    const Trace trace = run(cycle, {}, 10);
    EXPECT_EQ(trace.pauses, (std::vector<long> { 1000, 1000, 1000, 2000, 1000, 4000, 1000, 5000, 1000, 5000 }));
}

TEST(DialCycle, RoundLimitCountsTheEntriesStillInFromTheFirstOne)
{
    Rules rules;
    rules.roundLimit = 2;
    rules.on(FailureKind::Account) = Action::Drop;
    DialCycle cycle(Three, rules, 1);
    const Trace trace = run(cycle, { { "backup", Refused } }, 10);
    EXPECT_EQ(trace.dialed, "Home Office backup Home Office ");
    EXPECT_EQ(trace.last.end, DialCycle::End::RoundsOut);
    EXPECT_EQ(trace.last.message,
        "Dialing stopped: no entry connected in 2 rounds.\nbackup: error 691: why\nHome: error 676: why\n"
        "Office: error 676: why");
}

} // namespace
