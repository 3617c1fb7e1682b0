// Duration text, the toolkit's integer rules and the statistics' update rules.
#include "settings/Statistics.h"

#include "platform/linux/SqliteRegistry.h"
#include "support/ErrorOf.h"
#include "support/RecordingRegistry.h"

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
    vorn::test::RecordingRegistry recorder { hive };
    TRegFile reg { nullptr, &recorder };
    QDateTime connectStart;
    qint32 connectedSeconds = 99;

    void SetUp() override { reg.RootKey = hkLocalMachine; }
    Variant entryValue(const QString& entry, const char* name)
    {
        reg.Key = stats::EntryKey(entry);
        return reg.ReadValue(QLatin1String(name));
    }
};

// Which values a first start writes, in which order, is pinned by the wizard's start-up test.
TEST_F(Rules, DefaultsNeverReplaceWhatIsThere)
{
    stats::WriteGlobalDefaults(reg, QStringLiteral("Connected to"));
    stats::WriteEntryDefaults(reg, QStringLiteral("Office"));
    stats::WriteEntryDefaults(reg, QStringLiteral("Home"));
    EXPECT_EQ(recorder.writes.size(), 12u);

    // Existing values stay, whatever they hold; "LastAccess" alone decides for an entry.
    reg.Key = QLatin1String(stats::ProgramKey);
    reg.WriteValue(QStringLiteral("PlayTune"), Variant("odd"));
    reg.Key = stats::EntryKey(QStringLiteral("Home"));
    reg.WriteValue(QStringLiteral("Accesses"), Variant("odd"));
    recorder.writes.clear();
    stats::WriteGlobalDefaults(reg, QStringLiteral("Other"));
    stats::WriteEntryDefaults(reg, QStringLiteral("Office"));
    stats::WriteEntryDefaults(reg, QStringLiteral("HOME"));
    EXPECT_TRUE(recorder.writes.empty()) << recorder.writes.front().name.constData();
}

TEST_F(Rules, AConnectionOfFiveTicks)
{
    stats::WriteEntryDefaults(reg, QStringLiteral("Office"));
    reg.Key = stats::EntryKey(QStringLiteral("Office"));
    reg.WriteValue(QStringLiteral("LastTime"), Variant("00:07:00"));
    reg.WriteValue(QStringLiteral("TotalTime"), Variant("1:00:00"));
    reg.WriteValue(QStringLiteral("Accesses"), Variant(4));

    const QDateTime now(QDate(2026, 3, 1), QTime(14, 5, 9));
    stats::RecordConnection(reg, QStringLiteral("Office"), now, connectStart, connectedSeconds);
    EXPECT_EQ(connectStart, now);
    EXPECT_EQ(connectedSeconds, 0);
    EXPECT_EQ(entryValue(QStringLiteral("Office"), stats::Accesses), Variant(5));
    EXPECT_EQ(entryValue(QStringLiteral("Office"), stats::LastTime), Variant("00:07:00"))
        << "kept until the first tick";
    EXPECT_EQ(entryValue(QStringLiteral("Office"), stats::LastAccess), Variant(stats::LastAccessText(now)));

    for (int tick = 0; tick < 5; ++tick)
        stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(connectedSeconds, 5);
    EXPECT_EQ(entryValue(QStringLiteral("Office"), stats::LastTime), Variant("00:00:05"));
    EXPECT_EQ(entryValue(QStringLiteral("Office"), stats::TotalTime), Variant("01:00:05"));
}

TEST_F(Rules, DamagedStatisticsBehindTheProgramsBack)
{
    const QString entry = QStringLiteral("Office");
    // A missing count starts again; a count at the top wraps.
    stats::RecordConnection(reg, entry, QDateTime::currentDateTime(), connectStart, connectedSeconds);
    EXPECT_EQ(entryValue(entry, stats::Accesses), Variant(1));
    reg.WriteValue(QStringLiteral("Accesses"), Variant(INT_MAX));
    stats::RecordConnection(reg, entry, QDateTime::currentDateTime(), connectStart, connectedSeconds);
    EXPECT_EQ(entryValue(entry, stats::Accesses), Variant(INT_MIN));

    // A missing total counts from 0; a bad one fails every tick after "LastTime" until cleared.
    stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(entryValue(entry, stats::TotalTime), Variant("00:00:01"));
    reg.WriteValue(QStringLiteral("TotalTime"), Variant("garbage"));
    for (int tick = 0; tick < 2; ++tick)
        EXPECT_THROW(stats::RecordTick(reg, connectedSeconds), EConvertError);
    EXPECT_EQ(entryValue(entry, stats::LastTime), Variant("00:00:03"));

    stats::ClearStatistics(reg, entry);
    EXPECT_EQ(entryValue(entry, stats::Accesses), Variant(0));
    EXPECT_EQ(entryValue(entry, stats::LastAccess), Variant("00/00/00"));
    EXPECT_EQ(entryValue(entry, stats::LastTime), Variant("00:00:00"));
    EXPECT_EQ(entryValue(entry, stats::TotalTime), Variant("00:00:00"));
    stats::RecordTick(reg, connectedSeconds);
    EXPECT_EQ(entryValue(entry, stats::TotalTime), Variant("00:00:01"));
}

TEST(LastAccess, LocaleDateAndTimeWithoutZone)
{
    const QDateTime when(QDate(2026, 12, 24), QTime(18, 30, 45));
    const QString text = stats::LastAccessText(when);
    const QLocale locale = QLocale::system();
    EXPECT_TRUE(text.startsWith(locale.toString(when.date(), QLocale::ShortFormat) + QLatin1String(" - ")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QLatin1String("30")) && text.contains(QLatin1String("45"))) << qPrintable(text);
    EXPECT_FALSE(text.contains(QLatin1String("UTC"))) << qPrintable(text);
}

} // namespace
