// vorn-history: lists, exports and clears the history of dialing attempts
// that the wizard and vorn-rasdial keep.
#include "platform/Paths.h"
#include "settings/History.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace vorn;

namespace
{

constexpr const char* Usage = R"(usage:
  vorn-history [--entry NAME] [--since YYYY-MM-DD] [--csv | --json]
                                       list the attempts, newest last
  vorn-history --clear [--entry NAME]  forget the attempts (of NAME only)
The history is $VORN_HISTORY, else history.db beside the registry hive.
)";

struct Options {
    QString entry;
    QDate since;
    bool csv = false;
    bool json = false;
    bool clear = false;
};

// An error in the arguments: said with the usage, exit status 2.
int usageError(const QString& message)
{
    if (!message.isEmpty())
        std::fprintf(stderr, "vorn-history: %s\n", qPrintable(message));
    std::fputs(Usage, stderr);
    return 2;
}

std::optional<QString> parse(const QStringList& args, Options* options)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1StringView("--entry") && hasValue) {
            options->entry = args[++i];
        } else if (arg == QLatin1StringView("--since") && hasValue) {
            options->since = QDate::fromString(args[++i], Qt::ISODate);
            if (!options->since.isValid() || args[i].size() != 10)
                return QStringLiteral("--since wants a date as YYYY-MM-DD, not \"%1\"").arg(args[i]);
        } else if (arg == QLatin1StringView("--csv")) {
            options->csv = true;
        } else if (arg == QLatin1StringView("--json")) {
            options->json = true;
        } else if (arg == QLatin1StringView("--clear")) {
            options->clear = true;
        } else {
            return QStringLiteral("unknown argument \"%1\"").arg(arg);
        }
    }
    if (options->csv && options->json)
        return QStringLiteral("--csv and --json exclude each other");
    if (options->clear && (options->csv || options->json || options->since.isValid()))
        return QStringLiteral("--clear takes --entry only");
    return std::nullopt;
}

QByteArray asJson(const QList<Attempt>& attempts)
{
    QJsonArray rows;
    for (const auto& a : attempts) {
        rows.append(QJsonObject { { QStringLiteral("entry"), a.entry }, { QStringLiteral("backend"), a.backend },
            { QStringLiteral("start"), a.start }, { QStringLiteral("end"), a.end },
            { QStringLiteral("outcome"), a.outcome }, { QStringLiteral("code"), a.code },
            { QStringLiteral("text"), a.text }, { QStringLiteral("seconds"), a.seconds },
            { QStringLiteral("bytes_in"), a.bytesIn }, { QStringLiteral("bytes_out"), a.bytesOut } });
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

QByteArray asTable(const QList<Attempt>& attempts)
{
    QByteArray table;
    for (const auto& a : attempts) {
        QString line = QStringLiteral("%1  %2  %3").arg(a.start, a.entry, a.outcome);
        if (a.outcome == QLatin1StringView("connected"))
            line += QStringLiteral("  %1s  %2 bytes in, %3 out").arg(a.seconds).arg(a.bytesIn).arg(a.bytesOut);
        if (!a.text.isEmpty())
            line += QStringLiteral("  %1 (%2)").arg(a.text).arg(a.code);
        table += line.toUtf8() + '\n';
    }
    return table;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QLatin1StringView("--help"))) {
        std::fputs(Usage, stdout);
        return 0;
    }
    Options options;
    if (const auto error = parse(args, &options))
        return usageError(*error);

    const QString file = paths::historyFile();
    if (!QFileInfo::exists(file)) {
        std::fprintf(stderr, "vorn-history: no history yet: %s does not exist\n", qPrintable(file));
        return 1;
    }
    ConnectionHistory history(
        file, {}, options.clear ? ConnectionHistory::Mode::ReadWrite : ConnectionHistory::Mode::ReadOnly);
    if (options.clear) {
        if (!history.clear(options.entry)) {
            std::fprintf(stderr, "vorn-history: %s\n", qPrintable(history.problem()));
            return 1;
        }
        return 0;
    }
    const auto attempts = history.attempts(options.entry, options.since);
    if (!attempts) {
        std::fprintf(stderr, "vorn-history: %s\n", qPrintable(history.problem()));
        return 1;
    }
    const QByteArray output = options.csv ? historyCsv(*attempts)
        : options.json                    ? asJson(*attempts)
                                          : asTable(*attempts);
    std::fwrite(output.constData(), 1, std::size_t(output.size()), stdout);
    return 0;
}
