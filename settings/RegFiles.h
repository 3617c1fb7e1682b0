#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

// The roots the store can work under. Ordinal 4 is HKEY_CURRENT_CONFIG:
// HKEY_PERFORMANCE_DATA has no member.
enum TRootKey : std::uint8_t { hkClassesRoot, hkCurrentUser, hkLocalMachine, hkUsers, hkCurrentConfig, hkDynData };

class ERegFileError : public std::runtime_error
{
public:
    explicit ERegFileError(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};

// A tagged value in the 16-byte record form (type code, three reserved
// words, 8-byte payload, little-endian). Text, type code 256, is kept as
// 8-bit characters beside the record, never as a reference inside it.
class Variant
{
public:
    enum TypeCode : std::uint16_t {
        varEmpty = 0,
        varNull = 1,
        varSmallint = 2,
        varInteger = 3,
        varSingle = 4,
        varDouble = 5,
        varCurrency = 6,
        varDate = 7,
        varBoolean = 11,
        varString = 256,
    };
    static constexpr int RecordSize = 16;
    using Record = std::array<std::uint8_t, RecordSize>;

    Variant() = default;
    Variant(short value);
    Variant(qint32 value);
    Variant(bool value);
    Variant(float value);
    Variant(double value);
    Variant(const char* text);
    Variant(const QByteArray& text);
    Variant(const QString& text);
    static Variant Null();
    static Variant Currency(qint64 tenThousandths);
    static Variant Date(double days);
    // A record as stored. It cannot carry text: code 256 gives an empty value.
    static Variant fromRecord(const Record& record);

    std::uint16_t type() const;
    bool isEmpty() const { return type() == varEmpty; }
    bool isNull() const { return type() == varNull; }
    bool isText() const { return type() == varString; }
    bool isInteger() const;
    const Record& record() const { return record_; }

    // The value as a 32-bit integer, for codes 2, 3 and 11 (true is -1).
    qint32 toInt(bool* ok = nullptr) const;
    // The value as a double, for every numeric code (currency unscaled).
    double toDouble(bool* ok = nullptr) const;
    // The text of a text value; empty for any other.
    QByteArray text() const { return text_; }
    QString toString() const { return QString::fromUtf8(text_); }

    bool operator==(const Variant& other) const = default;

private:
    static Variant ofType(std::uint16_t code);
    template <typename T> T payload() const;
    template <typename T> void setPayload(T value);

    Record record_ {};
    QByteArray text_;
};

// Typed access to the values of one registry key: assign Key, then call
// ValueExists, ReadValue or WriteValue. Each opens the key, does its work
// and closes it again; failures raise ERegFileError.
class TRegFile : public QObject
{
    Q_OBJECT
public:
    explicit TRegFile(QObject* owner = nullptr, vorn::Registry* registry = nullptr);

    TRootKey RootKey = hkCurrentUser;
    // Path below the root that the value operations address; may end in a backslash.
    QString Key;

    vorn::HKEY KeyHandle() const { return keyHandle_; }
    qint32 LastResult() const { return lastResult_; }

    // True when the key Key\SubKey exists and holds a value Name. Creates nothing.
    bool ValueExists(const QString& SubKey, const QString& Name);
    // Null when the value is missing or empty; empty when it is of a kind
    // the store does not read. Creates the key when missing.
    void ReadValue(const QString& Name, Variant& Value);
    Variant ReadValue(const QString& Name);
    // Stores integers (codes 2, 3, 11) as REG_DWORD, floats, currency and
    // dates as the 16-byte record in REG_BINARY, text as REG_SZ.
    void WriteValue(const QString& Name, const Variant& Value);

    // Names of the values of Key; none when the key is missing. Creates nothing.
    QStringList ValueNames();
    // Removes the value Name of Key; a missing key or value is no error.
    void DeleteValue(const QString& Name);

    // "a\b\c" gives ("\a\b", "c"); a doubled backslash is no separator.
    static std::pair<QString, QString> SplitValueName(const QString& Name);

protected:
    virtual bool OpenKey(const QString& Path, bool OpenOnly);
    virtual void CloseKey();

private:
    void CheckResult(qint32 Code);
    QString FullKeyPath(const QString& SubKey) const;
    qint64 GetDataSize(const QString& Name, std::uint32_t& Type);
    std::uint32_t GetData(const QString& Name, QByteArray& Buffer);
    void PutData(const QString& Name, const QByteArray& Buffer, std::uint32_t Type);
    void CloseAfterFailure();

    vorn::Registry& registry_;
    vorn::HKEY keyHandle_ = 0;
    qint32 lastResult_ = 0;
};
