// The service started on demand, and the programs beside it.
#include "DialupFixture.h"

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
        writePhonebook("[Busy Line]\nOutcomes=busy\nStepDelay=10\n\n"
                       "[My Provider]\nDevice=Fast Modem\nStepDelay=10\n");
        ASSERT_TRUE(service.start());
    }

    RunResult rasdial(QStringList args)
    {
        qputenv("VORN_DIALUP_SOCKET", socketPath().toUtf8());
        args.append(QStringLiteral("/PHONEBOOK:") + phonebookPath());
        auto result = runProgram(binPath(QStringLiteral("vorn-rasdial")), args);
        qunsetenv("VORN_DIALUP_SOCKET");
        return result;
    }
};

} // namespace

TEST_F(ToolsTest, RasdialDialsListsDropsAndHangsUp)
{
    auto result = rasdial({ QStringLiteral("Busy Line") });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("Connecting device")) << result.out.constData();
    EXPECT_TRUE(result.out.contains("676 - The line is busy.")) << result.out.constData();

    result = rasdial({ QStringLiteral("My Provider"), QStringLiteral("user"), QStringLiteral("secret") });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains("Connecting device Fast Modem (modem)...\nDevice connected."))
        << result.out.constData();
    EXPECT_TRUE(result.out.endsWith("Connected to My Provider.\n")) << result.out.constData();

    // The connection outlives the program that dialed it.
    result = rasdial({});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains("Connected to\nMy Provider\n")) << result.out.constData();

    EXPECT_EQ(rasdial({ QStringLiteral("--drop"), QStringLiteral("My Provider") }).exitCode, 0);
    EXPECT_TRUE(rasdial({}).out.contains("No connections"));
    EXPECT_EQ(rasdial({ QStringLiteral("My Provider"), QStringLiteral("/DISCONNECT") }).exitCode, 1);

    EXPECT_EQ(rasdial({ QStringLiteral("My Provider") }).exitCode, 0);
    result = rasdial({ QStringLiteral("My Provider") });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "You are already connected to My Provider.\n");
    EXPECT_EQ(rasdial({ QStringLiteral("my provider"), QStringLiteral("/DISCONNECT") }).exitCode, 0);
    EXPECT_TRUE(rasdial({}).out.contains("No connections"));
    EXPECT_EQ(rasdial({ QStringLiteral("--LINES") }).exitCode, 0) << "option names are not case sensitive";
}

TEST_F(ToolsTest, RasdialUsageErrorsNameWhatIsWrong)
{
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        { { QString() }, "the entry name is empty" },
        { { QStringLiteral("--drop"), QString() }, "the entry name is empty" },
        { { QStringLiteral("/BOGUS") }, "unknown option /BOGUS" },
        { { "a", "b", "c", "d" }, "too many arguments from d on" },
        { { QStringLiteral("/D") }, "/DISCONNECT needs an entry name" },
        { { QStringLiteral("--reload"), QStringLiteral("x") }, "--reload takes no entry name (x)" },
    };
    for (const auto& usage : cases) {
        const auto result = rasdial(usage.args);
        EXPECT_EQ(result.exitCode, 2) << qPrintable(usage.args.join(' '));
        EXPECT_TRUE(result.err.startsWith(QByteArray("vorn-rasdial: ") + usage.says + "\nusage:"))
            << result.err.constData();
    }
}

TEST_F(ToolsTest, RasdialGivesUpOnAStoppedService)
{
    ::kill(pid_t(service.processId()), SIGSTOP);
    const auto result = rasdial({ QStringLiteral("My Provider") });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
        "Remote access error 711 - The remote-access service could not be reached: the dial-up service did not "
        "answer within 5 seconds.\n");
}

TEST_F(ToolsTest, ServiceStartsOnDemandAndEndsWhenIdle)
{
    const QString spawnedSocket = dir.filePath(QStringLiteral("spawned/dialup.sock"));
    qputenv("VORN_DIALUPD_IDLE_EXIT", "1");
    {
        sim::SimRemoteAccess access(spawnedSocket);
        EXPECT_TRUE(connectionsOf(access).empty());
    }
    qunsetenv("VORN_DIALUPD_IDLE_EXIT");
    ASSERT_TRUE(QFile::exists(spawnedSocket));
    EXPECT_EQ(QFileInfo(dir.filePath(QStringLiteral("spawned"))).permissions() & 0x0077, 0);
    // Idle with no client for a second: it ends and takes its socket along.
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(spawnedSocket); }, 5s));
}

TEST_F(ToolsTest, InitvornWritesTheConnectedWindowTitle)
{
    QProcess initvorn;
    initvorn.setWorkingDirectory(dir.path());
    initvorn.start(binPath(QStringLiteral("initvorn")), {});
    ASSERT_TRUE(initvorn.waitForFinished(10000));
    EXPECT_EQ(initvorn.exitCode(), 0);
    QFile file(dir.filePath(QStringLiteral("vorninfo.pdt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readLine(), "Connection Established\n");
}
