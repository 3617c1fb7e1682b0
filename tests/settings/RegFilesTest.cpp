// TRegFile against a real hive file: how values are stored and read back,
// what it refuses, and that no key stays open whatever happens.
#include "settings/RegFiles.h"

#include "platform/linux/SqliteRegistry.h"
#include "support/ErrorOf.h"
#include "support/HiveAccess.h"
#include "support/RecordingRegistry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

using namespace vorn;
using namespace vorn::reg;
using namespace vorn::test;

namespace
{

class Store : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    SqliteRegistry hive { dir.filePath(QStringLiteral("registry.db")) };
    RecordingRegistry recorder { hive };
    TRegFile reg { nullptr, &recorder };

    void SetUp() override
    {
        reg.RootKey = hkLocalMachine;
        reg.Key = QStringLiteral("SOFTWARE\\Test\\");
    }
    void TearDown() override { EXPECT_EQ(recorder.openHandles, 0) << "a key was left open"; }

    QByteArray record(std::uint16_t code, qint64 payload = 0)
    {
        QByteArray bytes(16, '\0');
        std::memcpy(bytes.data(), &code, 2);
        std::memcpy(bytes.data() + 8, &payload, 8);
        return bytes;
    }
};

TEST_F(Store, MissingValuesReadAsNullAndCreateOnlyOnRead)
{
    // Probing creates no key, so it works on a hive that refuses them.
    recorder.createResult = AccessDenied;
    EXPECT_FALSE(reg.ValueExists(QString(), QStringLiteral("x")));
    recorder.createResult = 0;
    EXPECT_TRUE(reg.ReadValue(QStringLiteral("x")).isNull());

    // Present but zero bytes: it exists, yet reads as null.
    storeRaw(hive, "SOFTWARE\\Test", "zero", REG_SZ, QByteArray());
    EXPECT_TRUE(reg.ValueExists(QString(), QStringLiteral("ZERO")));
    EXPECT_TRUE(reg.ReadValue(QStringLiteral("zero")).isNull());
}

TEST_F(Store, ValuesAreStoredInTheirRegistryForms)
{
    // Nothing unstorable is written: empty, null, a record holding a reference.
    Variant::Record bstr {};
    bstr[0] = 8;
    for (const Variant& value : { Variant(), Variant::Null(), Variant::fromRecord(bstr) }) {
        EXPECT_EQ(errorOf<ERegFileError>([&] { reg.WriteValue(QStringLiteral("v"), value); }), "Invalid variant type");
    }
    EXPECT_TRUE(recorder.writes.empty());

    const std::tuple<Variant, std::uint32_t, QByteArray> forms[] = {
        { Variant(0), REG_DWORD, QByteArray(4, '\0') },
        { Variant(""), REG_SZ, QByteArray(1, '\0') },
        { Variant(true), REG_DWORD, QByteArray(4, '\xFF') },
        { Variant(short(-2)), REG_DWORD, QByteArray("\xFE\xFF\xFF\xFF", 4) },
        { Variant(2.5), REG_BINARY, record(5, std::bit_cast<qint64>(2.5)) },
    };
    for (const auto& [value, type, data] : forms) {
        reg.WriteValue(QStringLiteral("v"), value);
        EXPECT_EQ(storedRaw(hive, "SOFTWARE\\Test", "v"), std::make_pair(type, data)) << value.type();
    }
    reg.WriteValue(QStringLiteral("v"), Variant::Currency(-12345));
    EXPECT_EQ(reg.ReadValue(QStringLiteral("v")).toDouble(), -1.2345);

    // Every storable kind comes back as written; text keeps any bytes and any length.
    const Variant kinds[] = { Variant(qint32(-7)), Variant(2.5), Variant(1.25f), Variant::Currency(-123456789),
        Variant::Date(45000.75), Variant(QByteArray("\xC3\x28 not utf-8")), Variant(QString(300, QLatin1Char('q'))) };
    for (const Variant& value : kinds) {
        reg.WriteValue(QStringLiteral("kind"), value);
        EXPECT_EQ(reg.ReadValue(QStringLiteral("kind")), value) << value.type();
    }
}

TEST_F(Store, ForeignDataReadsAsEmptyNeverAsSomethingElse)
{
    const std::tuple<std::uint32_t, QByteArray, Variant> cases[] = {
        { REG_BINARY, QByteArray(15, '\x05'), {} },
        { REG_EXPAND_SZ, QByteArray("%PATH%", 7), {} },
        { REG_MULTI_SZ, QByteArray("a\0b\0\0", 5), {} },
        { REG_DWORD_BIG_ENDIAN, QByteArray(4, '\1'), {} },
        { REG_QWORD, QByteArray(8, '\1'), {} },
        // Records whose code carries a reference or nothing are not numbers.
        { REG_BINARY, record(8, 0x7fff12345678), {} },
        { REG_BINARY, record(0x4003, 0x7fff12345678), {} },
        { REG_BINARY, record(1), {} },
        { REG_BINARY, record(3, 42), Variant(42) },
        // Short DWORDs are padded, not read past their end; text without a NUL is taken whole.
        { REG_DWORD, QByteArray("\x01\x02", 2), Variant(0x0201) },
        { REG_DWORD, QByteArray("\x01\0\0\0\x09", 5), Variant(1) },
        { REG_SZ, "abc", Variant("abc") },
        { REG_SZ, QByteArray("one\0two\0", 8), Variant("one") },
    };
    for (const auto& [type, data, expected] : cases) {
        storeRaw(hive, "SOFTWARE\\Test", "v", type, data);
        EXPECT_EQ(reg.ReadValue(QStringLiteral("v")), expected) << type << " " << data.toHex().constData();
    }
}

TEST_F(Store, FailuresRaiseTheirMessagesAndCloseTheKey)
{
    const auto write = [this] { reg.WriteValue(QStringLiteral("v"), Variant(1)); };
    recorder.createResult = -2;
    EXPECT_EQ(errorOf<ERegFileError>([this] { reg.ReadValue(QStringLiteral("v")); }), "Reg Error: FFFFFFFE");
    recorder.createResult = 0;

    // A failing close raises, but leaves no handle behind.
    recorder.closeResult = InvalidHandle;
    EXPECT_EQ(errorOf<ERegFileError>(write), "Reg Error: 00000006");
    recorder.closeResult = 0;
    EXPECT_EQ(reg.ReadValue(QStringLiteral("v")), Variant(1));
}

TEST_F(Store, ValueChangedByAnotherProcessBetweenSizeAndRead)
{
    storeRaw(hive, "SOFTWARE\\Test", "grows", REG_SZ, QByteArray("ab", 3));
    recorder.beforeDataRead
        = [this] { storeRaw(hive, "SOFTWARE\\Test", "grows", REG_SZ, QByteArray("much longer", 12)); };
    EXPECT_EQ(reg.ReadValue(QStringLiteral("grows")).text(), "much longer");
}

} // namespace
