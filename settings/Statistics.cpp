#include "settings/Statistics.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QRegularExpression>

namespace
{

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int digit = 99;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'a' && u <= u'f')
        digit = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        digit = u - u'A' + 10;
    return digit < base ? digit : -1;
}

// Wraps instead of overflowing: the statistics are 32-bit counters.
qint32 wrapped(quint32 value)
{
    return static_cast<qint32>(value);
}

// The text before the next colon; the colon and that text are removed. With
// no colon left the part is empty and nothing is removed.
QString takePart(QString& rest)
{
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return QString();
    const QString part = rest.left(colon);
    rest.remove(0, colon + 1);
    return part;
}

} // namespace

bool TryStrToInt(const QString& Text, qint32& Value)
{
    qsizetype i = 0;
    const qsizetype n = Text.size();
    while (i < n && Text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (Text[i] == QLatin1Char('+') || Text[i] == QLatin1Char('-'))) {
        negative = Text[i] == QLatin1Char('-');
        ++i;
    }
    const bool hex = i < n && Text[i] == QLatin1Char('$');
    if (hex)
        ++i;
    if (i == n)
        return false;

    const int base = hex ? 16 : 10;
    // Hexadecimal takes any 32-bit pattern; decimal the signed range.
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = digitValue(Text[i], base);
        if (digit < 0)
            return false;
        magnitude = magnitude * quint64(base) + quint64(digit);
        if (magnitude > limit)
            return false;
    }
    const auto bits = quint32(magnitude);
    Value = wrapped(negative ? 0u - bits : bits);
    return true;
}

qint32 StrToInt(const QString& Text)
{
    qint32 value = 0;
    if (!TryStrToInt(Text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text));
    return value;
}

QString SecondsToDuration(qint32 Seconds)
{
    qint32 minutes = Seconds / 60;
    const qint32 hours = minutes / 60;
    minutes -= hours * 60;
    return QString::asprintf("%.2d:%.2d:%.2d", hours, minutes, Seconds % 60);
}

qint32 DurationToSeconds(const QString& Text)
{
    QString rest = Text;
    const QString hoursPart = takePart(rest);
    const QString minutesPart = takePart(rest);
    const auto hours = quint32(StrToInt(hoursPart));
    const auto minutes = quint32(StrToInt(minutesPart));
    const auto seconds = quint32(StrToInt(rest));
    return wrapped(hours * 3600u + minutes * 60u + seconds);
}

namespace stats
{

QString EntryKey(const QString& entryName)
{
    // A key name holds at most 255 characters. A longer entry name keeps its
    // first 246 and "~" with 8 hex digits of its SHA-1, so that names which
    // share the beginning still get keys of their own.
    constexpr std::size_t Kept = vorn::reg::MaxKeyNameLength - 9;
    const std::u32string characters = entryName.toStdU32String();
    if (characters.size() <= std::size_t(vorn::reg::MaxKeyNameLength))
        return QLatin1String(ProgramKey) + entryName;
    const QByteArray digest = QCryptographicHash::hash(entryName.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return QLatin1String(ProgramKey) + QString::fromStdU32String(characters.substr(0, Kept)) + QLatin1Char('~')
        + QString::fromLatin1(digest);
}

QString LongTimeText(const QTime& time)
{
    const QLocale locale = QLocale::system();
    // Qt's long time format names the time zone; the statistics show the time only.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    return locale.toString(time, locale.timeFormat(QLocale::LongFormat).remove(zone).trimmed());
}

QString LastAccessText(const QDateTime& when)
{
    return QLocale::system().toString(when.date(), QLocale::ShortFormat) + QStringLiteral(" - ")
        + LongTimeText(when.time());
}

void WriteGlobalDefaults(TRegFile& reg, const QString& pdtCaption)
{
    reg.Key = QLatin1String(ProgramKey);
    const std::pair<const char*, Variant> defaults[] = {
        { PDTCaption, Variant(pdtCaption) },
        { PlayTune, Variant(DefaultPlayTune) },
        { Tune, Variant(DefaultTune) },
        { ShowWelcome, Variant(DefaultShowWelcome) },
    };
    for (const auto& [name, value] : defaults) {
        if (!reg.ValueExists(QString(), QLatin1String(name)))
            reg.WriteValue(QLatin1String(name), value);
    }
}

void ClearStatistics(TRegFile& reg, const QString& entryName)
{
    reg.Key = EntryKey(entryName);
    reg.WriteValue(QLatin1String(Accesses), Variant(0));
    reg.WriteValue(QLatin1String(LastAccess), Variant(NeverAccessed));
    reg.WriteValue(QLatin1String(LastTime), Variant(SecondsToDuration(0)));
    reg.WriteValue(QLatin1String(TotalTime), Variant(SecondsToDuration(0)));
}

void WriteEntryDefaults(TRegFile& reg, const QString& entryName)
{
    reg.Key = EntryKey(entryName);
    if (reg.ValueExists(QString(), QLatin1String(LastAccess)))
        return;
    reg.WriteValue(QLatin1String(LastAccess), Variant(NeverAccessed));
    reg.WriteValue(QLatin1String(TotalTime), Variant(SecondsToDuration(0)));
    reg.WriteValue(QLatin1String(LastTime), Variant(SecondsToDuration(0)));
    reg.WriteValue(QLatin1String(Accesses), Variant(0));
}

void RecordConnection(
    TRegFile& reg, const QString& entryName, const QDateTime& now, QDateTime& connectStart, qint32& connectedSeconds)
{
    reg.Key = EntryKey(entryName);
    reg.WriteValue(QLatin1String(LastAccess), Variant(LastAccessText(now)));

    // A count that went missing or was replaced by something that is no
    // number starts again from 0.
    const Variant stored = reg.ReadValue(QLatin1String(Accesses));
    qint32 accesses = 0;
    if (stored.isInteger())
        accesses = stored.toInt();
    else if (stored.isText() && !TryStrToInt(stored.toString(), accesses))
        accesses = 0;
    reg.WriteValue(QLatin1String(Accesses), Variant(wrapped(quint32(accesses) + 1u)));

    connectStart = now;
    connectedSeconds = 0;
}

void RecordTick(TRegFile& reg, qint32& connectedSeconds)
{
    connectedSeconds = wrapped(quint32(connectedSeconds) + 1u);
    reg.WriteValue(QLatin1String(LastTime), Variant(SecondsToDuration(connectedSeconds)));

    // Only a text is a duration; a missing value or one of another kind
    // counts as its default, 0, and is replaced by a proper text now.
    const Variant stored = reg.ReadValue(QLatin1String(TotalTime));
    qint32 total = 0;
    try {
        total = stored.isText() ? DurationToSeconds(stored.toString()) : 0;
    } catch (const EConvertError&) {
        throw EConvertError(QStringLiteral("\"%1\" holds \"%2\", which is not a duration (hh:mm:ss)")
                                .arg(QLatin1String(TotalTime), stored.toString()));
    }
    reg.WriteValue(QLatin1String(TotalTime), Variant(SecondsToDuration(wrapped(quint32(total) + 1u))));
}

} // namespace stats
