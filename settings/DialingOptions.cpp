#include "settings/DialingOptions.h"

#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <algorithm>

using namespace cycle;

namespace dialing
{

namespace
{

constexpr std::array ActionValues = { OnLineFailure, OnDeviceFailure, OnAccountFailure, OnOtherFailure };

QString failuresKey(const QString& entryName)
{
    return stats::EntryKey(entryName) + QLatin1Char('\\') + QLatin1String(FailuresKey);
}

// The stored value, or null when it is not there; creates nothing.
Variant readStored(TRegFile& reg, const char* name)
{
    const QString valueName = QLatin1String(name);
    return reg.ValueExists(QString(), valueName) ? reg.ReadValue(valueName) : Variant::Null();
}

std::optional<qint32> countOf(const Variant& value)
{
    qint32 number = 0;
    if (value.isInteger())
        number = value.toInt();
    else if (!value.isText() || !TryStrToInt(value.toString(), number))
        return std::nullopt;
    if (number < 0)
        return std::nullopt;
    return number;
}

} // namespace

const char* actionValue(FailureKind kind)
{
    return ActionValues.at(std::size_t(kind));
}

Rules ReadRules(TRegFile& reg, QStringList* problems)
{
    Rules rules;
    reg.Key = QLatin1String(stats::ProgramKey);
    for (const FailureKind kind : AllKinds) {
        const Variant value = readStored(reg, actionValue(kind));
        if (value.isNull())
            continue;
        if (const auto action = value.isText() ? actionFromName(value.toString()) : std::nullopt)
            rules.on(kind) = *action;
        else
            problems->append(QStringLiteral("\"%1\" is not retry, drop or stop; retry is used instead.")
                                 .arg(QLatin1String(actionValue(kind))));
    }
    const auto number = [&](const char* name, int* target) {
        const Variant value = readStored(reg, name);
        if (value.isNull())
            return;
        if (const auto count = countOf(value))
            *target = *count;
        else
            problems->append(
                QStringLiteral("\"%1\" is not a number; %2 is used instead.").arg(QLatin1String(name)).arg(*target));
    };
    number(RoundPauseLimit, &rules.roundPauseLimit);
    number(RoundLimit, &rules.roundLimit);
    int redial = 0;
    number(RedialOnBreak, &redial);
    rules.redialOnBreak = redial == 1;
    return rules;
}

void WriteRules(TRegFile& reg, const Rules& rules)
{
    reg.Key = QLatin1String(stats::ProgramKey);
    for (const FailureKind kind : AllKinds)
        reg.WriteValue(QLatin1String(actionValue(kind)), Variant(actionName(rules.on(kind))));
    reg.WriteValue(QLatin1String(RoundPauseLimit), Variant(qint32(rules.roundPauseLimit)));
    reg.WriteValue(QLatin1String(RoundLimit), Variant(qint32(rules.roundLimit)));
    reg.WriteValue(QLatin1String(RedialOnBreak), Variant(qint32(rules.redialOnBreak ? 1 : 0)));
}

void CountFailure(TRegFile& reg, const QString& entryName, int code)
{
    reg.Key = failuresKey(entryName);
    const QString name = QString::number(code);
    // A count that cannot be read starts again.
    const qint32 count = countOf(readStored(reg, name.toLatin1().constData())).value_or(0);
    reg.WriteValue(name, Variant(qint32(count + 1)));
}

QList<QPair<int, qint32>> ReadFailures(TRegFile& reg, const QString& entryName)
{
    reg.Key = failuresKey(entryName);
    QList<QPair<int, qint32>> failures;
    for (const QString& name : reg.ValueNames()) {
        bool isCode = false;
        const int code = name.toInt(&isCode);
        if (const auto count = isCode ? countOf(reg.ReadValue(name)) : std::nullopt)
            failures.append({ code, *count });
    }
    std::sort(failures.begin(), failures.end());
    return failures;
}

void ClearFailures(TRegFile& reg, const QString& entryName)
{
    reg.Key = failuresKey(entryName);
    for (const QString& name : reg.ValueNames())
        reg.DeleteValue(name);
}

} // namespace dialing
