// vorn-rasdial on the simulated service (plain dials and --cycle), and the
// service started on demand.
#include "DialupFixture.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/DialingOptions.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QDir>

#include <csignal>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

class ToolsTest : public DialupFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writePhonebook("[Busy Line]\nOutcomes=busy\nStepDelay=10\n\n[My Provider]\nDevice=Fast Modem\nStepDelay=10\n\n"
                       "[Refuses]\nOutcomes=badpassword\nStepDelay=10\n\n"
                       "[Third]\nOutcomes=busy,busy,connect\nStepDelay=10\n\n[Slow]\nOutcomes=busy\nStepDelay=3000\n");
        ASSERT_TRUE(service.start());
        qputenv("VORN_DIALUP_SOCKET", socketPath().toUtf8());
        qputenv("VORN_REGISTRY", hivePath().toUtf8());
        // Dialing rules in the hive, for --cycle where the command line says nothing else.
        SqliteRegistry hive(hivePath());
        TRegFile reg(nullptr, &hive);
        reg.RootKey = hkLocalMachine;
        cycle::Rules rules;
        rules.on(cycle::FailureKind::Account) = cycle::Action::Stop;
        rules.roundLimit = 2;
        dialing::WriteRules(reg, rules);
    }
    void TearDown() override
    {
        qunsetenv("VORN_DIALUP_SOCKET");
        qunsetenv("VORN_REGISTRY");
    }
    QString hivePath() const { return dir.filePath("registry.db"); }
    QStringList withPhonebook(QStringList args) const { return args << "/PHONEBOOK:" + phonebookPath(); }
    RunResult rasdial(const QStringList& args) { return runProgram(binPath("vorn-rasdial"), withPhonebook(args)); }
};
using CycleTest = ToolsTest;

} // namespace

// A session at the command line: each command's exit code and what it says
// (usage errors on standard error, before the usage); --cycle under the
// hive's rules.
TEST_F(ToolsTest, RasdialDialsListsDropsHangsUpAndNamesWhatIsWrong)
{
    const struct {
        QStringList args;
        int exitCode;
        const char* says;
    } steps[] = {
        { { "Busy Line" }, 1,
            "Connecting device Standard Modem (modem)...\nRemote access error 676 - The line is busy." },
        { { "My Provider", "user", "secret" }, 0,
            "Connecting device Fast Modem (modem)...\nDevice connected.\nAll devices connected." },
        { {}, 0, "Connected to\nMy Provider\n" }, // the line outlives the program that dialed it
        { { "--drop", "My Provider" }, 0, "Command completed successfully." },
        { {}, 0, "No connections" },
        { { "My Provider", "/DISCONNECT" }, 1, "You are not connected to My Provider." },
        { { "My Provider" }, 0, "Authenticated.\nConnected to My Provider.\n" },
        { { "My Provider" }, 0, "You are already connected to My Provider.\n" },
        { { "my provider", "/DISCONNECT" }, 0, "Command completed successfully." },
        { {}, 0, "No connections" },
        { { "--LINES" }, 0, "Command completed successfully." },
        { { "" }, 2, "the entry name is empty" },
        { { "--drop", "" }, 2, "the entry name is empty" },
        { { "/BOGUS" }, 2, "unknown option /BOGUS" },
        { { "a", "b", "c", "d" }, 2, "too many arguments from d on" },
        { { "/D" }, 2, "/DISCONNECT needs an entry name" },
        { { "--reload", "x" }, 2, "--reload takes no entry name (x)" },
        { { "--cycle" }, 2, "wrong use of --cycle" },
        { { "--cycle", "X", "--rounds", "-1" }, 2, "wrong use of --cycle" },
        { { "--cycle", "X", "--policy", "line=maybe" }, 2, "wrong use of --cycle" },
        { { "--cycle", "X", "--policy", "line=drop,=stop" }, 2, "wrong use of --cycle" },
        { { "--cycle", "X", "--pause-limit" }, 2, "wrong use of --cycle" },
        { { "--cycle", "Refuses", "Busy Line" }, 3,
            "Dialing stopped: Refuses failed (error 691: The user name or password was refused by the remote "
            "server.)." },
        { { "--cycle", "Refuses", "--policy", "account=drop" }, 3, "every entry was left out.\nRefuses: error 691" },
        { { "--cycle", "Busy Line" }, 4, "no entry connected in 2 rounds.\nBusy Line: error 676: The line is busy.\n" },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(qPrintable(step.args.join(u' ')));
        const auto result = rasdial(step.args);
        EXPECT_EQ(result.exitCode, step.exitCode);
        if (step.exitCode == 2)
            EXPECT_TRUE(result.err.startsWith(QByteArray("vorn-rasdial: ") + step.says + "\nusage:"))
                << result.err.data();
        else
            EXPECT_TRUE(result.out.contains(step.says)) << result.out.constData();
    }
}

TEST_F(ToolsTest, RasdialGivesUpOnAStoppedService)
{
    ::kill(pid_t(service.processId()), SIGSTOP);
    const auto result = rasdial({ "My Provider" });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
        "Remote access error 711 - The remote-access service could not be reached: the dial-up service did not "
        "answer within 5 seconds.\n");
}

TEST_F(ToolsTest, ServiceStartsOnDemandAndEndsWhenIdle)
{
    const QString spawnedSocket = dir.filePath("spawned/dialup.sock");
    qputenv("VORN_DIALUPD_IDLE_EXIT", "1");
    EXPECT_TRUE(connectionsOf(*std::make_unique<sim::SimRemoteAccess>(spawnedSocket)).empty());
    qunsetenv("VORN_DIALUPD_IDLE_EXIT");
    ASSERT_TRUE(QFile::exists(spawnedSocket));
    EXPECT_EQ(QFileInfo(dir.filePath("spawned")).permissions() & 0x0077, 0);
    // Idle with no client for a second: it ends and takes its socket along.
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(spawnedSocket); }, 5s));
}

TEST_F(CycleTest, RefusedPasswordDroppedBusyCycledThirdConnectsAndIsRecorded)
{
    const auto result = rasdial(
        { "--cycle", "Refuses", "Busy Line", "Third", "--policy", "account=drop,device=stop", "--rounds", "3" });
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out,
        "Refuses, round 1: error 691 - The user name or password was refused by the remote server.\n"
        "Busy Line, round 1: error 676 - The line is busy.\n"
        "Third, round 1: error 676 - The line is busy.\n"
        "Busy Line, round 2: error 676 - The line is busy.\n"
        "Third, round 2: error 676 - The line is busy.\n"
        "Busy Line, round 3: error 676 - The line is busy.\n"
        "Third, round 3: connected.\n");
    EXPECT_TRUE(rasdial({}).out.contains("Connected to\nThird\n")) << "the line stays up after the program";

    SqliteRegistry hive(hivePath());
    TRegFile reg(nullptr, &hive);
    reg.RootKey = hkLocalMachine;
    reg.Key = stats::EntryKey("Third");
    EXPECT_EQ(reg.ReadValue(QLatin1String(stats::Accesses)).toInt(), 1);
    EXPECT_NE(reg.ReadValue(QLatin1String(stats::LastAccess)).toString(), stats::NeverAccessed);
    EXPECT_EQ(dialing::ReadFailures(reg, "Busy Line"), (QList<QPair<int, qint32>> { { 676, 3 } }));
    EXPECT_EQ(dialing::ReadFailures(reg, "Refuses"), (QList<QPair<int, qint32>> { { 691, 1 } }));
}

TEST_F(CycleTest, InterruptHangsUpTheAttemptInProgress)
{
    QProcess process;
    process.start(binPath("vorn-rasdial"), withPhonebook({ "--cycle", "Slow" }));
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return rasdial({ "--lines" }).out.contains("Slow"); }, 10s));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(process.readAllStandardOutput(), "Slow, round 1: interrupted, hung up.\n");
}
