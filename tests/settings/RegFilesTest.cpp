// TRegFile against a real hive file (no key stays open whatever happens);
// the statistics' update rules and the dialing options as the hive holds them.
#include "settings/RegFiles.h"

#include "platform/linux/SqliteRegistry.h"
#include "settings/DialingOptions.h"
#include "settings/Statistics.h"
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
    QDateTime connectStart;
    qint32 connectedSeconds = 99;

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
    Variant entryValue(const QString& entry, const char* name)
    {
        reg.Key = stats::EntryKey(entry);
        return reg.ReadValue(QLatin1String(name));
    }
};

TEST_F(Store, ReadsCreateNoKeyTakeWhatIsThereAndLeaveNoKeyOpen)
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

    // Grown by another process between asking its size and reading it.
    storeRaw(hive, "SOFTWARE\\Test", "grows", REG_SZ, QByteArray("ab", 3));
    recorder.beforeDataRead
        = [this] { storeRaw(hive, "SOFTWARE\\Test", "grows", REG_SZ, QByteArray("much longer", 12)); };
    EXPECT_EQ(reg.ReadValue(QStringLiteral("grows")).text(), "much longer");

    // A failing close raises, but leaves no handle behind (TearDown).
    recorder.closeResult = InvalidHandle;
    EXPECT_EQ(
        errorOf<ERegFileError>([this] { reg.WriteValue(QStringLiteral("v"), Variant(1)); }), "Reg Error: 00000006");
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
        // Records whose code carries a reference or nothing are not numbers.
        { REG_BINARY, record(8, 0x7fff12345678), {} },
        { REG_BINARY, record(0x4003, 0x7fff12345678), {} },
        { REG_BINARY, record(1), {} },
        { REG_BINARY, record(3, 42), Variant(42) },
        // Short DWORDs are padded, not read past their end; text without a NUL is taken whole.
        { REG_DWORD, QByteArray("\x01\x02", 2), Variant(0x0201) },
        { REG_SZ, "abc", Variant("abc") },
        { REG_SZ, QByteArray("one\0two\0", 8), Variant("one") },
    };
    for (const auto& [type, data, expected] : cases) {
        storeRaw(hive, "SOFTWARE\\Test", "v", type, data);
        EXPECT_EQ(reg.ReadValue(QStringLiteral("v")), expected) << type << " " << data.toHex().constData();
    }
}

TEST(Duration, TextToSeconds)
{
    // Each part by the toolkit's integer rules (spaces, signs, $hex); the sum wraps as a 32-bit integer does.
    const std::pair<const char*, qint32> cases[] = { { " +1: -1:$A", 3600 - 60 + 10 }, { "$FFFFFFFF:0:0", -3600 },
        { "-2147483648:0:0", 0 }, { "2147483647:2147483647:2147483647", qint32(2147483647u * 3661u) } };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(DurationToSeconds(QLatin1String(text)), seconds) << text;
    for (const char* text : { "1:2", "1:2:3:4", "1 :0:0", "2147483648:0:0", "0:0:\xd9\xa3" })
        EXPECT_THROW(DurationToSeconds(QString::fromUtf8(text)), EConvertError) << text;
}

using Rules = Store;

TEST_F(Rules, AConnectionOfFiveTicks)
{
    const QString office = QStringLiteral("Office");
    // Missing values: the count starts again, the total counts from 0.
    stats::RecordConnection(reg, office, QDateTime::currentDateTime(), connectStart, connectedSeconds);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(1));
    stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(entryValue(office, stats::TotalTime), Variant("00:00:01"));

    reg.WriteValue(QStringLiteral("LastTime"), Variant("00:07:00"));
    reg.WriteValue(QStringLiteral("TotalTime"), Variant("99:59:58"));
    reg.WriteValue(QStringLiteral("Accesses"), Variant(4));
    const QDateTime now(QDate(2026, 3, 1), QTime(14, 5, 9));
    stats::RecordConnection(reg, office, now, connectStart, connectedSeconds);
    EXPECT_EQ(connectStart, now);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(5));
    EXPECT_EQ(entryValue(office, stats::LastTime), Variant("00:07:00")) << "kept until the first tick";
    // The date as the system's locale writes it, then the time, without its zone.
    const QString lastAccess = entryValue(office, stats::LastAccess).toString();
    const QString date = QLocale::system().toString(now.date(), QLocale::ShortFormat);
    EXPECT_TRUE(lastAccess.startsWith(date + " - ") && lastAccess.contains(":05:09") && !lastAccess.contains("UTC"))
        << qPrintable(lastAccess);
    for (int tick = 0; tick < 5; ++tick)
        stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(entryValue(office, stats::LastTime), Variant("00:00:05"));
    EXPECT_EQ(entryValue(office, stats::TotalTime), Variant("100:00:03"));
}

using DialingOptions = Store;

TEST_F(DialingOptions, UnreadableValueIsItsDefaultAndNamed)
{
    reg.Key = QLatin1String(stats::ProgramKey);
    const std::pair<const char*, Variant> stored[] = { { "OnDeviceFailure", Variant(" Drop ") },
        { "RoundPauseLimit", Variant("-5") }, { "RoundLimit", Variant("4") }, { "RedialOnBreak", Variant(1.5) } };
    for (const auto& [name, value] : stored)
        reg.WriteValue(QLatin1String(name), value);
    QStringList problems;
    const cycle::Rules rules = dialing::ReadRules(reg, &problems);
    EXPECT_EQ(rules.on(cycle::FailureKind::Device), cycle::Action::Drop);
    EXPECT_EQ(rules.roundPauseLimit, 0);
    EXPECT_EQ(rules.roundLimit, 4);
    EXPECT_FALSE(rules.redialOnBreak);
    EXPECT_EQ(problems,
        QStringList({ "\"RoundPauseLimit\" is not a number; 0 is used instead.",
            "\"RedialOnBreak\" is not a number; 0 is used instead." }));
}

TEST_F(DialingOptions, FailuresAreCountedPerCodeListedAndCleared)
{
    const QString home = QStringLiteral("Home");
    reg.Key = stats::EntryKey(home) + QStringLiteral("\\Failures");
    reg.WriteValue(QStringLiteral("junk"), Variant(qint32(7)));
    reg.WriteValue(QStringLiteral("680"), Variant("many"));
    for (const int code : { 691, 676, 676, 680 })
        dialing::CountFailure(reg, home, code);
    // Names that are no code are left out; a count that cannot be read starts again.
    EXPECT_EQ(dialing::ReadFailures(reg, home), (QList<QPair<int, qint32>> { { 676, 2 }, { 680, 1 }, { 691, 1 } }));
    dialing::ClearFailures(reg, home);
    EXPECT_TRUE(dialing::ReadFailures(reg, home).isEmpty());
}

} // namespace
