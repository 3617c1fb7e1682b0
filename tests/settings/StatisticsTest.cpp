// Duration text, the toolkit's integer rules, the statistics' update rules
// and the dialing options as the hive holds them.
#include "settings/Statistics.h"

#include "platform/linux/SqliteRegistry.h"
#include "settings/DialingOptions.h"
#include "support/ErrorOf.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>

namespace
{

TEST(Duration, SecondsToText)
{
    const std::pair<qint32, const char*> cases[]
        = { { 0, "00:00:00" }, { 59, "00:00:59" }, { 3723, "01:02:03" }, { 86400, "24:00:00" }, { 360000, "100:00:00" },
              { INT_MAX, "596523:14:07" }, { -61, "00:-01:-01" }, { INT_MIN, "-596523:-14:-08" } };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(SecondsToDuration(seconds), QLatin1String(text)) << seconds;
}

TEST(Duration, TextToSeconds)
{
    const std::pair<const char*, qint32> cases[] = { { "01:02:03", 3723 }, { "1:2:3", 3723 }, { "0:90:0", 5400 },
        { "100:00:00", 360000 }, { " +1: -1:$A", 3600 - 60 + 10 }, { "-$10:0:0", -16 * 3600 },
        { "$FFFFFFFF:0:0", -3600 }, { "596524:0:0", qint32(596524u * 3600u) },
        { "2147483647:2147483647:2147483647", qint32(2147483647u * 3661u) } };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(DurationToSeconds(QLatin1String(text)), seconds) << text;

    const std::pair<const char*, const char*> failures[] = { { "1:2", "''" }, { "1:2:3:4", "'3:4'" }, { "", "''" },
        { "a:0:0", "'a'" }, { "1 :0:0", "'1 '" }, { "1:$:0", "'$'" }, { "0:0:+", "'+'" },
        { "2147483648:0:0", "'2147483648'" }, { "$100000000:0:0", "'$100000000'" }, { "0:0:\xd9\xa3", "'\xd9\xa3'" } };
    for (const auto& [text, quoted] : failures) {
        EXPECT_EQ(errorOf<EConvertError>([text = text] { DurationToSeconds(QString::fromUtf8(text)); }),
            std::string(quoted) + " is not a valid integer value");
    }
    EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), INT_MIN);
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
    reg.WriteValue(QStringLiteral("TotalTime"), Variant("1:00:00"));
    reg.WriteValue(QStringLiteral("Accesses"), Variant(4));
    const QDateTime now(QDate(2026, 3, 1), QTime(14, 5, 9));
    stats::RecordConnection(reg, office, now, connectStart, connectedSeconds);
    EXPECT_EQ(connectStart, now);
    EXPECT_EQ(connectedSeconds, 0);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(5));
    EXPECT_EQ(entryValue(office, stats::LastTime), Variant("00:07:00")) << "kept until the first tick";
    EXPECT_EQ(entryValue(office, stats::LastAccess), Variant(stats::LastAccessText(now)));
    for (int tick = 0; tick < 5; ++tick)
        stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(connectedSeconds, 5);
    EXPECT_EQ(entryValue(office, stats::LastTime), Variant("00:00:05"));
    EXPECT_EQ(entryValue(office, stats::TotalTime), Variant("01:00:05"));

    // A count at the top wraps; clearing sets all four back.
    reg.WriteValue(QStringLiteral("Accesses"), Variant(INT_MAX));
    stats::RecordConnection(reg, office, now, connectStart, connectedSeconds);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(INT_MIN));
    stats::ClearStatistics(reg, office);
    EXPECT_EQ(entryValue(office, stats::Accesses), Variant(0));
    EXPECT_EQ(entryValue(office, stats::LastAccess), Variant("00/00/00"));
    EXPECT_EQ(entryValue(office, stats::LastTime), Variant("00:00:00"));
    EXPECT_EQ(entryValue(office, stats::TotalTime), Variant("00:00:00"));
}

TEST(LastAccess, LocaleDateAndTimeWithoutZone)
{
    const QDateTime when(QDate(2026, 12, 24), QTime(18, 30, 45));
    const QString text = stats::LastAccessText(when);
    const QString date = QLocale::system().toString(when.date(), QLocale::ShortFormat);
    EXPECT_TRUE(text.startsWith(date + QLatin1String(" - ")) && text.contains(QLatin1String("30:45")));
    EXPECT_FALSE(text.contains(QLatin1String("UTC"))) << qPrintable(text);
}

// The dialing rules and failure counts as the hive holds them.
using DialingOptions = Rules;

TEST_F(DialingOptions, UnreadableValueIsItsDefaultAndNamed)
{
    reg.Key = QLatin1String(stats::ProgramKey);
    reg.WriteValue(QStringLiteral("OnLineFailure"), Variant(qint32(2)));
    reg.WriteValue(QStringLiteral("OnAccountFailure"), Variant("sometimes"));
    reg.WriteValue(QStringLiteral("OnDeviceFailure"), Variant(" Drop "));
    reg.WriteValue(QStringLiteral("RoundPauseLimit"), Variant("-5"));
    reg.WriteValue(QStringLiteral("RoundLimit"), Variant("4"));
    reg.WriteValue(QStringLiteral("RedialOnBreak"), Variant(1.5));
    QStringList problems;
    const cycle::Rules rules = dialing::ReadRules(reg, &problems);
    EXPECT_EQ(rules.on(cycle::FailureKind::Line), cycle::Action::Retry);
    EXPECT_EQ(rules.on(cycle::FailureKind::Account), cycle::Action::Retry);
    EXPECT_EQ(rules.on(cycle::FailureKind::Device), cycle::Action::Drop);
    EXPECT_EQ(rules.roundPauseLimit, 0);
    EXPECT_EQ(rules.roundLimit, 4);
    EXPECT_FALSE(rules.redialOnBreak);
    EXPECT_EQ(problems,
        QStringList({ "\"OnLineFailure\" is not retry, drop or stop; retry is used instead.",
            "\"OnAccountFailure\" is not retry, drop or stop; retry is used instead.",
            "\"RoundPauseLimit\" is not a number; 0 is used instead.",
            "\"RedialOnBreak\" is not a number; 0 is used instead." }));
}

TEST_F(DialingOptions, FailuresAreCountedPerCodeListedAndCleared)
{
    const QString home = QStringLiteral("Home");
    for (const int code : { 691, 676, 676, 676 })
        dialing::CountFailure(reg, home, code);
    reg.Key = stats::EntryKey(home) + QStringLiteral("\\Failures");
    reg.WriteValue(QStringLiteral("junk"), Variant(qint32(7)));
    reg.WriteValue(QStringLiteral("680"), Variant("many"));
    EXPECT_EQ(reg.ReadValue(QStringLiteral("676")).toInt(), 3);
    EXPECT_EQ(dialing::ReadFailures(reg, home), (QList<QPair<int, qint32>> { { 676, 3 }, { 691, 1 } }));
    // A count that cannot be read starts again.
    dialing::CountFailure(reg, home, 680);
    EXPECT_EQ(dialing::ReadFailures(reg, home).size(), 3);

    dialing::ClearFailures(reg, home);
    EXPECT_TRUE(dialing::ReadFailures(reg, home).isEmpty());
    EXPECT_TRUE(dialing::ReadFailures(reg, QStringLiteral("Nowhere")).isEmpty());
}

} // namespace
