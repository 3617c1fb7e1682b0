#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <optional>

// How a run over the selected entries goes on after a failed attempt: which
// entry comes next, how long to pause, when to leave an entry out and when
// to end. Used by the wizard's dialing loop and by vorn-rasdial --cycle;
// it decides only, the caller dials, waits and shows.
namespace cycle
{

// What a failure code says about the attempt.
enum class FailureKind { Line, Device, Account, Other };
inline constexpr std::array AllKinds
    = { FailureKind::Line, FailureKind::Device, FailureKind::Account, FailureKind::Other };

// retry: the entry is tried again in its turn; drop: it is left out for the
// rest of the run; stop: the run ends.
enum class Action { Retry, Drop, Stop };

FailureKind kindOf(int code);
QString kindName(FailureKind kind); // "line", "device", "account", "other"
QString actionName(Action action); // "retry", "drop", "stop"
std::optional<FailureKind> kindFromName(const QString& name);
std::optional<Action> actionFromName(const QString& name);

struct Rules {
    std::array<Action, AllKinds.size()> onFailure { Action::Retry, Action::Retry, Action::Retry, Action::Retry };
    // The pause after a round doubles from 1 s up to this many seconds; 0 keeps it at 1 s.
    int roundPauseLimit = 0;
    // The run ends after this many rounds; 0: never.
    int roundLimit = 0;
    // A broken line is dialed again instead of being reported.
    bool redialOnBreak = false;

    Action& on(FailureKind kind) { return onFailure.at(std::size_t(kind)); }
    Action on(FailureKind kind) const { return onFailure.at(std::size_t(kind)); }
    bool operator==(const Rules&) const = default;
};

inline constexpr std::chrono::milliseconds PauseAfterAttempt { 1000 };

} // namespace cycle

class DialCycle
{
public:
    enum class End { None, Stopped, AllDropped, RoundsOut };
    struct Verdict {
        End end = End::None;
        // Before the next attempt; 0 when the run has ended.
        std::chrono::milliseconds pause { 0 };
        // Why the run ended, for the user.
        QString message;
    };

    // `entries` in dialing order; the run starts with the one at `first`.
    DialCycle(QStringList entries, cycle::Rules rules, int first = 0);

    // The entry for the next attempt.
    QString current() const { return run_.at(position_); }
    // 1 for the first pass over the entries.
    int round() const { return round_; }
    // The attempt on current() ended: `failure` is its error code, 0 when it
    // was skipped or ended without one. `text` describes the code.
    Verdict attemptEnded(int failure, const QString& text = {});

private:
    QString lastFailures() const;

    QStringList entries_;
    cycle::Rules rules_;
    QStringList run_; // the entries not dropped, in order
    QHash<QString, QString> lastFailure_; // entry: its last failure
    qsizetype position_ = 0;
    int round_ = 1;
};
