// vorn-rasdial --cycle on the simulated service: rules, rounds, statistics
// and its exit codes.
#include "DialupFixture.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/DialingOptions.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QProcess>

#include <csignal>

using namespace vorn;
using namespace vorn::test;

namespace
{

class CycleTest : public DialupFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writePhonebook("[Refuses]\nOutcomes=badpassword\nStepDelay=10\n\n"
                       "[Busy Line]\nOutcomes=busy\nStepDelay=10\n\n"
                       "[Third]\nOutcomes=busy,busy,connect\nStepDelay=10\n\n"
                       "[Slow]\nOutcomes=busy\nStepDelay=3000\n");
        ASSERT_TRUE(service.start());
        qputenv("VORN_DIALUP_SOCKET", socketPath().toUtf8());
        qputenv("VORN_REGISTRY", hivePath().toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("VORN_DIALUP_SOCKET");
        qunsetenv("VORN_REGISTRY");
        DialupFixture::TearDown();
    }
    QString hivePath() const { return dir.filePath(QStringLiteral("registry.db")); }
    QStringList cycle(QStringList args) const
    {
        args.prepend(QStringLiteral("--cycle"));
        args.append(QStringLiteral("/PHONEBOOK:") + phonebookPath());
        return args;
    }
    RunResult rasdial(const QStringList& args) { return runProgram(binPath(QStringLiteral("vorn-rasdial")), args); }
};

} // namespace

TEST_F(CycleTest, RefusedPasswordDroppedBusyCycledThirdConnectsAndIsRecorded)
{
    const auto result = rasdial(cycle({ QStringLiteral("Refuses"), QStringLiteral("Busy Line"), QStringLiteral("Third"),
        QStringLiteral("--policy"), QStringLiteral("account=drop,device=stop") }));
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out,
        "Refuses, round 1: error 691 - The user name or password was refused by the remote server.\n"
        "Busy Line, round 1: error 676 - The line is busy.\n"
        "Third, round 1: error 676 - The line is busy.\n"
        "Busy Line, round 2: error 676 - The line is busy.\n"
        "Third, round 2: error 676 - The line is busy.\n"
        "Busy Line, round 3: error 676 - The line is busy.\n"
        "Third, round 3: connected.\n");
    // The connection stays up after the program has ended.
    EXPECT_TRUE(rasdial({}).out.contains("Connected to\nThird\n"));

    SqliteRegistry hive(hivePath());
    TRegFile reg(nullptr, &hive);
    reg.RootKey = hkLocalMachine;
    reg.Key = stats::EntryKey(QStringLiteral("Third"));
    EXPECT_EQ(reg.ReadValue(QLatin1String(stats::Accesses)).toInt(), 1);
    EXPECT_NE(reg.ReadValue(QLatin1String(stats::LastAccess)).toString(), stats::NeverAccessed);
    EXPECT_EQ(dialing::ReadFailures(reg, QStringLiteral("Busy Line")), (QList<QPair<int, qint32>> { { 676, 3 } }));
    EXPECT_EQ(dialing::ReadFailures(reg, QStringLiteral("Refuses")), (QList<QPair<int, qint32>> { { 691, 1 } }));
}

TEST_F(CycleTest, ExitCodesOfRulesRoundsUsageAndInterrupt)
{
    // The hive's rules apply unless the command line says otherwise.
    {
        SqliteRegistry hive(hivePath());
        TRegFile reg(nullptr, &hive);
        reg.RootKey = hkLocalMachine;
        cycle::Rules rules;
        rules.on(cycle::FailureKind::Account) = cycle::Action::Stop;
        rules.roundLimit = 2;
        dialing::WriteRules(reg, rules);
    }
    auto result = rasdial(cycle({ QStringLiteral("Refuses"), QStringLiteral("Busy Line") }));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.out.endsWith("Dialing stopped: Refuses failed (error 691: The user name or password was "
                                    "refused by the remote server.).\n"))
        << result.out.constData();

    result = rasdial(cycle({ QStringLiteral("Refuses"), QStringLiteral("--policy"), QStringLiteral("account=drop") }));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.out.contains("every entry was left out.\nRefuses: error 691")) << result.out.constData();

    result = rasdial(cycle({ QStringLiteral("Busy Line") }));
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_TRUE(result.out.endsWith("no entry connected in 2 rounds.\nBusy Line: error 676: The line is busy.\n"))
        << result.out.constData();

    const QStringList usageErrors[]
        = { { "--cycle" }, { "--cycle", "X", "--rounds", "-1" }, { "--cycle", "X", "--policy", "line=maybe" },
              { "--cycle", "X", "--policy", "line=drop,=stop" }, { "--cycle", "X", "--pause-limit" } };
    for (const QStringList& args : usageErrors)
        EXPECT_EQ(rasdial(args).exitCode, 2) << qPrintable(args.join(u' '));

    // Ctrl+C: the attempt in progress is hung up.
    QProcess process;
    process.start(binPath(QStringLiteral("vorn-rasdial")), cycle({ QStringLiteral("Slow") }));
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(waitUntil(
        [&] { return rasdial({ QStringLiteral("--lines") }).out.contains("Slow"); }, std::chrono::seconds(10)));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(process.readAllStandardOutput(), "Slow, round 1: interrupted, hung up.\n");
}
