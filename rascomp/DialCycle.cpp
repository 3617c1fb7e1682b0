#include "rascomp/DialCycle.h"

#include <algorithm>

namespace cycle
{

namespace
{

constexpr std::array KindNames = { "line", "device", "account", "other" };
constexpr std::array ActionNames = { "retry", "drop", "stop" };

template <typename Enum, std::size_t N>
std::optional<Enum> fromName(const std::array<const char*, N>& names, const QString& name)
{
    for (std::size_t i = 0; i < N; ++i)
        if (name.trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
            return Enum(i);
    return std::nullopt;
}

} // namespace

FailureKind kindOf(int code)
{
    switch (code) {
    case 638: // request timed out
    case 676: // busy
    case 677: // a person answered
    case 678: // no answer
    case 679: // no carrier
    case 718: // the server stopped answering during logon
        return FailureKind::Line;
    case 602: // port in use
    case 606: // port not connected
    case 608: // no such device
    case 609: // unknown device type
    case 615: // port not found
    case 617: // port disconnecting
    case 618: // port not open
    case 619: // port disconnected
    case 630: // modem or port failed
    case 633: // modem in use
    case 651: // modem reported an error
    case 652: // modem answer not recognised
    case 680: // no dial tone
    case 692: // modem does not respond
        return FailureKind::Device;
    case 645: // internal authentication error
    case 646: // not at this time of day
    case 647: // account disabled
    case 648: // password expired
    case 649: // no permission to dial in
    case 691: // user name or password refused (also missing secrets)
        return FailureKind::Account;
    default:
        return FailureKind::Other;
    }
}

QString kindName(FailureKind kind)
{
    return QLatin1String(KindNames.at(std::size_t(kind)));
}

QString actionName(Action action)
{
    return QLatin1String(ActionNames.at(std::size_t(action)));
}

std::optional<FailureKind> kindFromName(const QString& name)
{
    return fromName<FailureKind>(KindNames, name);
}

std::optional<Action> actionFromName(const QString& name)
{
    return fromName<Action>(ActionNames, name);
}

} // namespace cycle

using namespace cycle;

DialCycle::DialCycle(QStringList entries, Rules rules, int first)
    : entries_(std::move(entries))
    , rules_(rules)
    , run_(entries_)
    , position_(entries_.isEmpty() ? 0 : first % entries_.size())
{
}

DialCycle::Verdict DialCycle::attemptEnded(int failure, const QString& text)
{
    const QString entry = current();
    const Action action = failure == 0 ? Action::Retry : rules_.on(kindOf(failure));
    if (failure != 0) {
        lastFailure_.insert(entry, QStringLiteral("error %1: %2").arg(failure).arg(text));
    }

    if (action == Action::Stop)
        return { End::Stopped, {},
            QStringLiteral("Dialing stopped: %1 failed (%2).").arg(entry, lastFailure_.value(entry)) };
    if (action == Action::Drop)
        run_.removeAt(position_);
    else
        ++position_;
    if (run_.isEmpty())
        return { End::AllDropped, {}, QStringLiteral("Dialing stopped: every entry was left out.\n") + lastFailures() };

    std::chrono::milliseconds pause = PauseAfterAttempt;
    if (position_ >= run_.size()) {
        position_ = 0;
        if (rules_.roundLimit > 0 && round_ >= rules_.roundLimit)
            return { End::RoundsOut, {},
                QStringLiteral("Dialing stopped: no entry connected in %1 rounds.\n").arg(round_) + lastFailures() };
        if (rules_.roundPauseLimit > 0) {
            const int seconds = 1 << std::min(round_ - 1, 20);
            pause = std::chrono::seconds(std::clamp(seconds, 1, rules_.roundPauseLimit));
        }
        ++round_;
    }
    return { End::None, pause, {} };
}

QString DialCycle::lastFailures() const
{
    QStringList lines;
    for (const QString& entry : entries_) {
        lines.append(entry + QStringLiteral(": ") + lastFailure_.value(entry, QStringLiteral("no failure")));
    }
    return lines.join(QLatin1Char('\n'));
}
