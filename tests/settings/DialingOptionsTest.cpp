// The dialing rules and failure counts as the hive holds them.
#include "settings/DialingOptions.h"

#include "platform/linux/SqliteRegistry.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cycle;

namespace
{

class DialingOptions : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    vorn::SqliteRegistry hive { dir.filePath(QStringLiteral("registry.db")) };
    TRegFile reg { nullptr, &hive };

    void SetUp() override { reg.RootKey = hkLocalMachine; }
    void store(const char* name, const Variant& value)
    {
        reg.Key = QLatin1String(stats::ProgramKey);
        reg.WriteValue(QLatin1String(name), value);
    }
};

TEST_F(DialingOptions, UnreadableValueIsItsDefaultAndNamed)
{
    store("OnLineFailure", Variant(qint32(2)));
    store("OnAccountFailure", Variant("sometimes"));
    store("OnDeviceFailure", Variant(" Drop "));
    store("RoundPauseLimit", Variant("-5"));
    store("RoundLimit", Variant("4"));
    store("RedialOnBreak", Variant(1.5));
    QStringList problems;
    const Rules rules = dialing::ReadRules(reg, &problems);
    EXPECT_EQ(rules.on(FailureKind::Line), Action::Retry);
    EXPECT_EQ(rules.on(FailureKind::Account), Action::Retry);
    EXPECT_EQ(rules.on(FailureKind::Device), Action::Drop);
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
