#include "Cycle.h"

#include "platform/Platform.h"
#include "platform/RemoteAccess.h"
#include "rascomp/DialCycle.h"
#include "settings/DialingOptions.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

using namespace vorn;

namespace
{

enum Exit { Connected = 0, ServiceError = 1, RuleEnded = 3, RoundsOut = 4, Interrupted = 130 };

int interruptWriter = -1;

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(interruptWriter, &byte, 1);
}

void print(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void warn(const QString& text)
{
    std::fprintf(stderr, "vorn-rasdial: %s\n", qPrintable(text));
}

std::optional<int> count(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<CycleOptions> parseCycle(const QStringList& args)
{
    CycleOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1StringView("--rounds") && hasValue) {
            if (!(options.rounds = count(args[++i])))
                return std::nullopt;
        } else if (arg == QLatin1StringView("--pause-limit") && hasValue) {
            if (!(options.pauseLimit = count(args[++i])))
                return std::nullopt;
        } else if (arg == QLatin1StringView("--policy") && hasValue) {
            for (const QString& rule : args[++i].split(QLatin1Char(','))) {
                const auto kind = cycle::kindFromName(rule.section(QLatin1Char('='), 0, 0));
                const auto action = cycle::actionFromName(rule.section(QLatin1Char('='), 1));
                if (!kind || !action || rule.count(QLatin1Char('=')) != 1)
                    return std::nullopt;
                options.policy.append({ *kind, *action });
            }
        } else if (arg.startsWith(QLatin1StringView("/PHONEBOOK:"), Qt::CaseInsensitive)) {
            options.phonebook = arg.mid(11);
        } else if (arg.startsWith(QLatin1Char('-')) || arg.startsWith(QLatin1Char('/'))) {
            return std::nullopt;
        } else {
            options.entries.append(arg);
        }
    }
    if (options.entries.isEmpty())
        return std::nullopt;
    return options;
}

namespace
{

// One dial: ends with 0 when connected, with the failure code otherwise.
class Attempt : public QObject
{
public:
    RasHandle handle = 0;
    std::uint32_t result = ras::Pending;
    QEventLoop loop;

protected:
    bool event(QEvent* event) override
    {
        const auto* progress = dynamic_cast<RasDialEvent*>(event);
        if (progress == nullptr)
            return QObject::event(event);
        if (progress->error != 0 || progress->state == ras::Connected) {
            result = progress->error;
            loop.quit();
        }
        return true;
    }
};

// The hive's statistics; a hive that cannot be written is reported, never fatal.
class Records
{
public:
    Records() { reg.RootKey = hkLocalMachine; }

    cycle::Rules rules()
    {
        QStringList problems;
        cycle::Rules rules;
        guard([&] { rules = dialing::ReadRules(reg, &problems); });
        for (const QString& problem : problems)
            warn(problem);
        return rules;
    }
    void failed(const QString& entry, int code)
    {
        guard([&] { dialing::CountFailure(reg, entry, code); });
    }
    void connected(const QString& entry)
    {
        guard([&] {
            stats::WriteEntryDefaults(reg, entry);
            QDateTime start;
            qint32 seconds = 0;
            stats::RecordConnection(reg, entry, QDateTime::currentDateTime(), start, seconds);
        });
    }

private:
    template <typename F> void guard(F&& f)
    {
        try {
            f();
        } catch (const ERegFileError& error) {
            if (!warned)
                warn(QStringLiteral("the settings file cannot be used (%1); statistics are not saved.")
                         .arg(error.message()));
            warned = true;
        }
    }

    TRegFile reg { nullptr, &platform::registry() };
    bool warned = false;
};

} // namespace

int cycleEntries(RemoteAccess& service, const CycleOptions& options)
{
    Records records;
    cycle::Rules rules = records.rules();
    if (options.rounds)
        rules.roundLimit = *options.rounds;
    if (options.pauseLimit)
        rules.roundPauseLimit = *options.pauseLimit;
    for (const auto& [kind, action] : options.policy)
        rules.on(kind) = action;

    // Ctrl+C ends the wait at hand; the attempt in progress is hung up.
    int pipe[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe) != 0) {
        warn(QStringLiteral("cannot watch for Ctrl+C"));
        return ServiceError;
    }
    interruptWriter = pipe[1];
    bool interrupted = false;
    QEventLoop* waiting = nullptr;
    QSocketNotifier notifier(pipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        interrupted = true;
        notifier.setEnabled(false);
        if (waiting != nullptr)
            waiting->quit();
    });
    std::signal(SIGINT, onInterrupt);

    DialCycle run(options.entries, rules);
    const QByteArray phonebook = options.phonebook.toUtf8();
    while (!interrupted) {
        const QString entry = run.current();
        RASDIALPARAMS params {};
        params.dwSize = sizeof params;
        copyToField(params.szEntryName, entry.toUtf8());
        Attempt attempt;
        attempt.result
            = service.dial(phonebook.isEmpty() ? nullptr : phonebook.constData(), params, &attempt, &attempt.handle);
        if (attempt.result == ras::Success) {
            waiting = &attempt.loop;
            attempt.loop.exec();
            waiting = nullptr;
        }
        const QString where = QStringLiteral("%1, round %2: ").arg(entry).arg(run.round());
        if (interrupted) {
            service.hangUp(attempt.handle);
            print(where + QStringLiteral("interrupted, hung up."));
            return Interrupted;
        }
        if (attempt.result == ras::Success) {
            print(where + QStringLiteral("connected."));
            records.connected(entry);
            return Connected;
        }
        const int code = int(attempt.result);
        const QString text = rasErrorText(attempt.result);
        print(where + QStringLiteral("error %1 - %2").arg(code).arg(text));
        if (attempt.handle != 0)
            service.hangUp(attempt.handle);
        if (attempt.result == ras::ServiceUnavailable)
            return ServiceError;
        records.failed(entry, code);

        const DialCycle::Verdict next = run.attemptEnded(code, text);
        if (next.end != DialCycle::End::None) {
            print(next.message);
            return next.end == DialCycle::End::RoundsOut ? RoundsOut : RuleEnded;
        }
        QEventLoop pause;
        QTimer::singleShot(next.pause, &pause, &QEventLoop::quit);
        waiting = &pause;
        pause.exec();
        waiting = nullptr;
    }
    if (interrupted)
        print(QStringLiteral("Interrupted."));
    return Interrupted;
}
