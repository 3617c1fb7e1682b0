#include "app/VariantConvert.h"

#include "settings/RegFiles.h"

#include <cmath>
#include <limits>

namespace
{

// Decimal digits after optional blanks and a sign, or "$" and hexadecimal digits.
bool parseInteger(const QString& text, qint32& result)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    qint64 value = 0;
    if (trimmed.startsWith(QLatin1Char('$')))
        value = trimmed.mid(1).toLongLong(&ok, 16);
    else if (trimmed.startsWith(QLatin1Char('-')) && trimmed.mid(1).startsWith(QLatin1Char('$')))
        value = -trimmed.mid(2).toLongLong(&ok, 16);
    else
        value = trimmed.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return false;
    result = static_cast<qint32>(value);
    return true;
}

} // namespace

qint32 VarToInt(const Variant& value)
{
    switch (value.type()) {
    case Variant::varEmpty:
        return 0;
    case Variant::varSmallint:
    case Variant::varInteger:
    case Variant::varBoolean:
        return value.toInt();
    case Variant::varSingle:
    case Variant::varDouble:
    case Variant::varCurrency:
    case Variant::varDate: {
        const double number = std::nearbyint(value.toDouble());
        if (number >= std::numeric_limits<qint32>::min() && number <= std::numeric_limits<qint32>::max())
            return static_cast<qint32>(number);
        break;
    }
    case Variant::varString: {
        qint32 result = 0;
        if (parseInteger(value.toString(), result))
            return result;
        break;
    }
    default:
        break;
    }
    throw EVariantError();
}

QString VarToText(const Variant& value)
{
    switch (value.type()) {
    case Variant::varEmpty:
        return {};
    case Variant::varString:
        return value.toString();
    case Variant::varSmallint:
    case Variant::varInteger:
        return QString::number(value.toInt());
    case Variant::varBoolean:
        return value.toInt() != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case Variant::varSingle:
    case Variant::varDouble:
    case Variant::varCurrency:
    case Variant::varDate:
        return QString::number(value.toDouble());
    default:
        throw EVariantError();
    }
}
