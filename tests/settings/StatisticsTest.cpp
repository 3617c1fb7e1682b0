// Duration text, the toolkit's integer rules, the statistics' update rules
// and the dialing options as the hive holds them.
#include "settings/Statistics.h"

#include "platform/linux/SqliteRegistry.h"
#include "settings/DialingOptions.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>

namespace
{

TEST(Duration, TextToSeconds)
{
    const std::pair<const char*, qint32> cases[] = { { "1:2:03", 3723 }, { " +1: -1:$A", 3600 - 60 + 10 },
        { "-$10:0:0", -16 * 3600 }, { "$FFFFFFFF:0:0", -3600 }, { "-2147483648:0:0", 0 },
        { "2147483647:2147483647:2147483647", qint32(2147483647u * 3661u) } };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(DurationToSeconds(QLatin1String(text)), seconds) << text;

    for (const char* text : { "1:2", "1:2:3:4", "1 :0:0", "1:$:0", "2147483648:0:0", "$100000000:0:0", "0:0:\xd9\xa3" })
        EXPECT_THROW(DurationToSeconds(QString::fromUtf8(text)), EConvertError) << text;
}

class Rules : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    vorn::SqliteRegistry hive { dir.filePath(QStringLiteral("registry.db")) };
    TRegFile reg { nullptr, &hive };
    QDateTime connectStart;
    qint32 connectedSeconds = 99;

    void SetUp() override { reg.RootKey = hkLocalMachine; }
    Variant entryValue(const QString& entry, const char* name)
    {
        reg.Key = stats::EntryKey(entry);
        return reg.ReadValue(QLatin1String(name));
    }
};

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

    // A count at the top wraps.
    reg.WriteValue(QStringLiteral("Accesses"), Variant(INT_MAX));
    stats::RecordConnection(reg, office, now, connectStart, connectedSeconds);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(INT_MIN));
}

// The dialing rules and failure counts as the hive holds them.
using DialingOptions = Rules;

TEST_F(DialingOptions, UnreadableValueIsItsDefaultAndNamed)
{
    reg.Key = QLatin1String(stats::ProgramKey);
    const std::pair<const char*, Variant> stored[]
        = { { "OnAccountFailure", Variant("sometimes") }, { "OnDeviceFailure", Variant(" Drop ") },
              { "RoundPauseLimit", Variant("-5") }, { "RoundLimit", Variant("4") }, { "RedialOnBreak", Variant(1.5) } };
    for (const auto& [name, value] : stored)
        reg.WriteValue(QLatin1String(name), value);
    QStringList problems;
    const cycle::Rules rules = dialing::ReadRules(reg, &problems);
    EXPECT_EQ(rules.on(cycle::FailureKind::Account), cycle::Action::Retry);
    EXPECT_EQ(rules.on(cycle::FailureKind::Device), cycle::Action::Drop);
    EXPECT_EQ(rules.roundPauseLimit, 0);
    EXPECT_EQ(rules.roundLimit, 4);
    EXPECT_FALSE(rules.redialOnBreak);
    EXPECT_EQ(problems,
        QStringList({ "\"OnAccountFailure\" is not retry, drop or stop; retry is used instead.",
            "\"RoundPauseLimit\" is not a number; 0 is used instead.",
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
