#include "settings/RegFiles.h"

#include "platform/Platform.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace vorn;

namespace
{

// Handle values of the roots, indexed by TRootKey.
constexpr HKEY RootKeys[] = { reg::HKEY_CLASSES_ROOT, reg::HKEY_CURRENT_USER, reg::HKEY_LOCAL_MACHINE, reg::HKEY_USERS,
    reg::HKEY_CURRENT_CONFIG, reg::HKEY_DYN_DATA };

constexpr int PayloadOffset = 8;

HKEY rootHandle(TRootKey root)
{
    // An out-of-range root reaches the registry as an invalid handle.
    return root < std::size(RootKeys) ? RootKeys[root] : 0;
}

// Codes whose whole value lives inside the record; all others carry a
// reference or nothing, so stored bytes claiming them are not a number.
bool isStoredNumber(std::uint16_t code)
{
    return (code >= Variant::varSmallint && code <= Variant::varDate) || code == Variant::varBoolean;
}

Variant RegDataToVariant(std::uint32_t type, const QByteArray& data)
{
    switch (type) {
    case reg::REG_SZ: {
        // Up to the first NUL, or all of it when the data has none.
        const qsizetype end = data.indexOf('\0');
        return Variant(end < 0 ? data : data.left(end));
    }
    case reg::REG_DWORD: {
        // Shorter data is padded with zero bytes rather than read past its end.
        std::array<std::uint8_t, 4> bytes {};
        std::memcpy(bytes.data(), data.constData(), std::min<size_t>(bytes.size(), size_t(data.size())));
        return Variant(qFromLittleEndian<qint32>(bytes.data()));
    }
    case reg::REG_BINARY:
        if (data.size() == Variant::RecordSize) {
            Variant::Record record;
            std::memcpy(record.data(), data.constData(), record.size());
            if (isStoredNumber(qFromLittleEndian<std::uint16_t>(record.data())))
                return Variant::fromRecord(record);
        }
        return Variant();
    default:
        return Variant();
    }
}

} // namespace

// ---- Variant

Variant Variant::ofType(std::uint16_t code)
{
    Variant value;
    qToLittleEndian(code, value.record_.data());
    return value;
}

template <typename T> T Variant::payload() const
{
    return qFromLittleEndian<T>(record_.data() + PayloadOffset);
}

template <typename T> void Variant::setPayload(T value)
{
    qToLittleEndian(value, record_.data() + PayloadOffset);
}

Variant::Variant(short value)
    : Variant(ofType(varSmallint))
{
    setPayload(qint16(value));
}

Variant::Variant(qint32 value)
    : Variant(ofType(varInteger))
{
    setPayload(value);
}

Variant::Variant(bool value)
    : Variant(ofType(varBoolean))
{
    setPayload(qint16(value ? -1 : 0));
}

Variant::Variant(float value)
    : Variant(ofType(varSingle))
{
    setPayload(value);
}

Variant::Variant(double value)
    : Variant(ofType(varDouble))
{
    setPayload(value);
}

Variant::Variant(const char* text)
    : Variant(QByteArray(text))
{
}

Variant::Variant(const QByteArray& text)
    : Variant(ofType(varString))
{
    text_ = text;
}

Variant::Variant(const QString& text)
    : Variant(text.toUtf8())
{
}

Variant Variant::Null()
{
    return ofType(varNull);
}

Variant Variant::Currency(qint64 tenThousandths)
{
    Variant value = ofType(varCurrency);
    value.setPayload(tenThousandths);
    return value;
}

Variant Variant::Date(double days)
{
    Variant value = ofType(varDate);
    value.setPayload(days);
    return value;
}

Variant Variant::fromRecord(const Record& record)
{
    Variant value;
    if (qFromLittleEndian<std::uint16_t>(record.data()) != varString)
        value.record_ = record;
    return value;
}

std::uint16_t Variant::type() const
{
    return qFromLittleEndian<std::uint16_t>(record_.data());
}

bool Variant::isInteger() const
{
    const auto code = type();
    return code == varSmallint || code == varInteger || code == varBoolean;
}

qint32 Variant::toInt(bool* ok) const
{
    if (ok != nullptr)
        *ok = isInteger();
    switch (type()) {
    case varSmallint:
        return payload<qint16>();
    case varInteger:
        return payload<qint32>();
    case varBoolean:
        return payload<qint16>() != 0 ? -1 : 0;
    default:
        return 0;
    }
}

double Variant::toDouble(bool* ok) const
{
    if (ok != nullptr)
        *ok = true;
    switch (type()) {
    case varSingle:
        return payload<float>();
    case varDouble:
    case varDate:
        return payload<double>();
    case varCurrency:
        return double(payload<qint64>()) / 10000.0;
    default:
        return toInt(ok);
    }
}

// ---- TRegFile

TRegFile::TRegFile(QObject* owner, Registry* registry)
    : QObject(owner)
    , registry_(registry != nullptr ? *registry : platform::registry())
{
}

std::pair<QString, QString> TRegFile::SplitValueName(const QString& Name)
{
    // p counts from 1 as the scan is specified; Name[p - 1] is its character.
    qsizetype p = Name.size();
    const auto isBackslash = [&Name](qsizetype position) { return Name[position - 1] == QLatin1Char('\\'); };
    while (p > 0) {
        if (!isBackslash(p))
            --p;
        else if (p == 1 || !isBackslash(p - 1))
            break;
        else
            p -= 2;
    }
    if (p <= 0)
        return { QString(), Name };
    QString keyPart = Name.left(p - 1);
    if (!keyPart.startsWith(QLatin1Char('\\')))
        keyPart.prepend(QLatin1Char('\\'));
    return { keyPart, Name.mid(p) };
}

QString TRegFile::FullKeyPath(const QString& SubKey) const
{
    QString path = Key;
    if (!SubKey.isEmpty()) {
        if (!path.isEmpty())
            path += QLatin1Char('\\');
        path += SubKey;
    }
    return path;
}

void TRegFile::CheckResult(qint32 Code)
{
    lastResult_ = Code;
    if (Code != reg::Success)
        throw ERegFileError(QString::asprintf("Reg Error: %8.8X", unsigned(Code)));
}

bool TRegFile::OpenKey(const QString& Path, bool OpenOnly)
{
    const HKEY root = rootHandle(RootKey);
    if (OpenOnly || Path.isEmpty() || RootKey == hkDynData) {
        if (registry_.openKey(root, Path.toUtf8(), reg::KEY_ALL_ACCESS, keyHandle_) == reg::Success)
            return true;
        keyHandle_ = 0;
        if (OpenOnly)
            return false;
        throw ERegFileError(QStringLiteral("Can't open a Key"));
    }
    const std::int32_t result = registry_.createKey(root, Path.toUtf8(), reg::KEY_ALL_ACCESS, keyHandle_);
    if (result != reg::Success)
        keyHandle_ = 0;
    CheckResult(result);
    return true;
}

void TRegFile::CloseKey()
{
    if (keyHandle_ == 0)
        return;
    // Cleared first: after a failed close the handle is of no use either.
    const HKEY handle = std::exchange(keyHandle_, 0);
    CheckResult(registry_.closeKey(handle));
}

void TRegFile::CloseAfterFailure()
{
    // The error already on its way wins over a failing close.
    try {
        CloseKey();
    } catch (const ERegFileError&) {
    }
}

qint64 TRegFile::GetDataSize(const QString& Name, std::uint32_t& Type)
{
    std::uint32_t size = 0;
    if (registry_.queryValue(keyHandle_, Name.toUtf8(), &Type, nullptr, &size) != reg::Success)
        return -1;
    return size;
}

std::uint32_t TRegFile::GetData(const QString& Name, QByteArray& Buffer)
{
    const QByteArray name = Name.toUtf8();
    std::uint32_t type = reg::REG_NONE;
    for (;;) {
        auto size = std::uint32_t(Buffer.size());
        const std::int32_t result
            = registry_.queryValue(keyHandle_, name, &type, reinterpret_cast<std::uint8_t*>(Buffer.data()), &size);
        // Another process may have grown the value since its size was asked.
        if (result == reg::MoreData && size > std::uint32_t(Buffer.size())) {
            Buffer.resize(qsizetype(size));
            continue;
        }
        CheckResult(result);
        Buffer.truncate(qsizetype(size));
        return type;
    }
}

void TRegFile::PutData(const QString& Name, const QByteArray& Buffer, std::uint32_t Type)
{
    CheckResult(registry_.setValue(keyHandle_, Name.toUtf8(), Type,
        reinterpret_cast<const std::uint8_t*>(Buffer.constData()), std::uint32_t(Buffer.size())));
}

bool TRegFile::ValueExists(const QString& SubKey, const QString& Name)
{
    if (!OpenKey(FullKeyPath(SubKey), true))
        return false;
    std::uint32_t type = 0;
    const qint64 size = GetDataSize(Name, type); // raises nothing
    CloseKey();
    return size >= 0;
}

void TRegFile::ReadValue(const QString& Name, Variant& Value)
{
    Value = Variant::Null();
    const auto [keyPart, valueName] = SplitValueName(Name);
    OpenKey(Key + keyPart, false);
    try {
        std::uint32_t type = 0;
        const qint64 size = GetDataSize(valueName, type);
        if (size > 0) {
            QByteArray buffer(size, Qt::Uninitialized);
            type = GetData(valueName, buffer);
            // The value may have shrunk to nothing in the meantime.
            Value = buffer.isEmpty() ? Variant::Null() : RegDataToVariant(type, buffer);
        }
    } catch (...) {
        CloseAfterFailure();
        throw;
    }
    CloseKey();
}

QStringList TRegFile::ValueNames()
{
    QStringList names;
    if (!OpenKey(Key, true))
        return names;
    std::vector<vorn::RegValue> values;
    const std::int32_t result = registry_.enumValues(keyHandle_, values);
    CloseAfterFailure();
    CheckResult(result);
    for (const auto& value : values)
        names.append(QString::fromUtf8(value.name));
    return names;
}

void TRegFile::DeleteValue(const QString& Name)
{
    if (!OpenKey(Key, true))
        return;
    const std::int32_t result = registry_.deleteValue(keyHandle_, Name.toUtf8());
    CloseKey();
    if (result != reg::FileNotFound)
        CheckResult(result);
}

Variant TRegFile::ReadValue(const QString& Name)
{
    Variant value;
    ReadValue(Name, value);
    return value;
}

void TRegFile::WriteValue(const QString& Name, const Variant& Value)
{
    const auto [keyPart, valueName] = SplitValueName(Name);
    OpenKey(Key + keyPart, false);
    try {
        std::uint32_t type = reg::REG_NONE;
        QByteArray buffer;
        switch (Value.type()) {
        case Variant::varSmallint:
        case Variant::varInteger:
        case Variant::varBoolean:
            type = reg::REG_DWORD;
            buffer.resize(4);
            qToLittleEndian(Value.toInt(), buffer.data());
            break;
        case Variant::varSingle:
        case Variant::varDouble:
        case Variant::varCurrency:
        case Variant::varDate:
            type = reg::REG_BINARY;
            buffer = QByteArray(reinterpret_cast<const char*>(Value.record().data()), Variant::RecordSize);
            break;
        case Variant::varString:
            type = reg::REG_SZ;
            buffer = Value.text();
            buffer.append('\0');
            break;
        default:
            throw ERegFileError(QStringLiteral("Invalid variant type"));
        }
        PutData(valueName, buffer, type);
    } catch (...) {
        CloseAfterFailure();
        throw;
    }
    CloseKey();
}
