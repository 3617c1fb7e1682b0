#include "platform/sim/Phonebook.h"

#include "platform/RemoteAccess.h"

#include <QHash>

#include <optional>

namespace vorn::sim
{

namespace
{

constexpr int MaxStepDelayMs = 60 * 1000;
constexpr int MaxDropAfterSeconds = 24 * 60 * 60;
constexpr int MaxBytesPerSecond = 1000 * 1000 * 1000;

std::optional<Outcome> outcomeNamed(const QString& name)
{
    static const struct {
        const char* name;
        Outcome outcome;
    } names[] = {
        { "connect", Outcome::Connect },
        { "busy", Outcome::Busy },
        { "noanswer", Outcome::NoAnswer },
        { "nodialtone", Outcome::NoDialTone },
        { "nocarrier", Outcome::NoCarrier },
        { "badpassword", Outcome::BadPassword },
    };
    for (const auto& entry : names) {
        if (name.compare(QLatin1StringView(entry.name), Qt::CaseInsensitive) == 0)
            return entry.outcome;
    }
    return std::nullopt;
}

// Why a section name cannot be an entry, or an empty text when it can.
QString invalidNameReason(const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("empty entry name");
    if (name.toUtf8().size() > ras::MaxEntryName)
        return QStringLiteral("entry name longer than %1 bytes").arg(ras::MaxEntryName);
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("entry name with a backslash");
    return QString();
}

class Parser
{
public:
    Phonebook parse(const QByteArray& text)
    {
        const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            lineNumber_ = i + 1;
            parseLine(lines[i].trimmed());
        }
        finishEntry();
        return std::move(book_);
    }

private:
    void warn(const QString& what) { book_.warnings.append(QStringLiteral("line %1: %2").arg(lineNumber_).arg(what)); }

    void finishEntry()
    {
        if (current_)
            book_.entries.append(*std::exchange(current_, std::nullopt));
    }

    void parseLine(const QString& line)
    {
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            return;
        if (line.startsWith(QLatin1Char('['))) {
            finishEntry();
            inSkippedSection_ = true;
            if (!line.endsWith(QLatin1Char(']'))) {
                warn(QStringLiteral("section header without ']', section skipped"));
                return;
            }
            const QString name = line.mid(1, line.size() - 2);
            if (const QString reason = invalidNameReason(name); !reason.isEmpty()) {
                warn(reason + QStringLiteral(", section skipped"));
                return;
            }
            // The second of two same names could never be dialed: the first is found.
            if (const auto first = headerLines_.constFind(name); first != headerLines_.cend()) {
                warn(
                    QStringLiteral("entry name \"%1\" already used on line %2, section skipped").arg(name).arg(*first));
                return;
            }
            headerLines_.insert(name, lineNumber_);
            inSkippedSection_ = false;
            current_ = PhonebookEntry {};
            current_->name = name;
            return;
        }
        const auto equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            warn(QStringLiteral("not a key=value line, ignored"));
            return;
        }
        if (!current_) {
            if (!inSkippedSection_)
                warn(QStringLiteral("key outside any entry, ignored"));
            return;
        }
        setKey(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }

    void setKey(const QString& key, const QString& value)
    {
        auto is = [&key](const char* name) { return key.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0; };
        if (is("PhoneNumber"))
            current_->phoneNumber = value;
        else if (is("Device"))
            current_->device = value;
        else if (is("DeviceType"))
            current_->deviceType = value;
        else if (is("Outcomes"))
            setOutcomes(value);
        else if (is("StepDelay"))
            setNumber(key, value, MaxStepDelayMs, &current_->stepDelayMs);
        else if (is("DropAfter"))
            setNumber(key, value, MaxDropAfterSeconds, &current_->dropAfterSeconds);
        else if (is("Rate"))
            setNumber(key, value, MaxBytesPerSecond, &current_->bytesPerSecond);
        // Other keys of a real phonebook are of no interest to the simulation.
    }

    void setOutcomes(const QString& value)
    {
        QList<Outcome> outcomes;
        for (const QString& item : value.split(QLatin1Char(','))) {
            const auto outcome = outcomeNamed(item.trimmed());
            if (!outcome) {
                warn(QStringLiteral("unknown outcome \"%1\", Outcomes ignored").arg(item.trimmed()));
                return;
            }
            outcomes.append(*outcome);
        }
        current_->outcomes = outcomes;
    }

    void setNumber(const QString& key, const QString& value, int max, int* out)
    {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < 0 || number > max) {
            warn(QStringLiteral("%1 must be a number from 0 to %2, ignored").arg(key).arg(max));
            return;
        }
        *out = number;
    }

    Phonebook book_;
    std::optional<PhonebookEntry> current_;
    bool inSkippedSection_ = false;
    qsizetype lineNumber_ = 0;
    QHash<QString, qsizetype> headerLines_; // line of each entry's section
};

} // namespace

Outcome PhonebookEntry::outcome(int attempt) const
{
    return outcomes[std::clamp<qsizetype>(attempt, 0, outcomes.size() - 1)];
}

const PhonebookEntry* Phonebook::find(const QString& name) const
{
    for (const auto& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    for (const auto& entry : entries) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

Phonebook parsePhonebook(const QByteArray& text)
{
    return Parser().parse(text);
}

} // namespace vorn::sim
