// The simulated dial-up service process, driven through its real client,
// through raw clients that misbehave, and through vorn-rasdial.
#include "platform/RemoteAccess.h"
#include "platform/linux/SqliteRegistry.h"
#include "platform/sim/SimRemoteAccess.h"
#include "rascomp/Rascomp32.h"
#include "settings/DialingOptions.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"
#include "support/ConnectionList.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <random>
#include <utility>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

using DialStep = std::pair<std::uint32_t, std::uint32_t>; // state, error

class DialRecorder : public QObject
{
public:
    QList<DialStep> steps;

protected:
    bool event(QEvent* event) override
    {
        if (const auto* progress = dynamic_cast<RasDialEvent*>(event)) {
            steps.append({ progress->state, progress->error });
            return true;
        }
        return QObject::event(event);
    }
};

// A phonebook section that steps quickly through its outcomes.
QByteArray entry(const char* name, const char* outcomes, const char* more = "")
{
    return QByteArray("[") + name + "]\nOutcomes=" + outcomes + "\nStepDelay=2\n" + more + "\n";
}

const QByteArray testPhonebook = entry("Busy Line", "busy") + entry("Nobody Home", "noanswer")
    + entry("no tone", "nodialtone") + entry("Quick", "connect", "Device=Fast Modem\nRate=1000\n")
    + entry("Refused", "badpassword") + entry("Twice Busy", "busy,busy,connect")
    + "[Slow]\nOutcomes=connect\nStepDelay=5000\n\n" + entry("Short Lived", "connect", "DropAfter=1\n");

const QList<DialStep> connected { { ras::OpenPort, 0 }, { ras::PortOpened, 0 }, { ras::ConnectDevice, 0 },
    { ras::DeviceConnected, 0 }, { ras::AllDevicesConnected, 0 }, { ras::Authenticate, 0 }, { ras::Authenticated, 0 },
    { ras::Connected, 0 } };

// A dial that passes the first `steps` states and fails with `error` in the last of them.
QList<DialStep> failed(int steps, std::uint32_t error)
{
    return connected.mid(0, steps) + QList<DialStep> { { connected[steps - 1].first, error } };
}

// A raw client of the socket at `path` that has sent `request`.
std::unique_ptr<QLocalSocket> rawClient(const QString& path, const QByteArray& request = {})
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(path);
    if (socket->waitForConnected(2000) && !request.isEmpty()) {
        socket->write(request);
        socket->flush();
    }
    return socket;
}

// Reads until `lines` line ends have come (or none for 2 s); what was read.
QByteArray readLines(QLocalSocket& socket, int lines)
{
    QByteArray text;
    while (text.count('\n') < lines && (socket.bytesAvailable() > 0 || socket.waitForReadyRead(2000)))
        text += socket.readAll();
    return text;
}

// A private service per test (own socket, phonebook, config folder): tests may run side by side.
class DialupServiceTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    ServiceProcess service { dir.path() };

    // Without a display, as on a server: dialing must not need one.
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writePhonebook(testPhonebook);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        ASSERT_TRUE(service.start(environment));
    }

    QString phonebookPath() const { return dir.filePath(QStringLiteral("test.pbk")); }
    QByteArray phonebook() const { return phonebookPath().toUtf8(); }

    void writePhonebook(const QByteArray& text)
    {
        QFile file(phonebookPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    std::shared_ptr<sim::SimRemoteAccess> client() const
    {
        return std::make_shared<sim::SimRemoteAccess>(service.socketPath());
    }

    // Dials `entry` (of our phonebook unless `book` names another) until it has connected or failed.
    QList<DialStep> dialToEnd(
        sim::SimRemoteAccess& access, const QString& entry, RasHandle* handle = nullptr, const char* book = nullptr)
    {
        DialRecorder recorder;
        RASDIALPARAMS params {};
        params.dwSize = sizeof params;
        copyToField(params.szEntryName, entry.toUtf8());
        RasHandle dialed = 0;
        EXPECT_EQ(access.dial(book != nullptr ? book : phonebook().constData(), params, &recorder, &dialed), 0U);
        const auto& steps = recorder.steps;
        EXPECT_TRUE(waitUntil(
            [&] { return !steps.isEmpty() && (steps.last().second != 0 || steps.last().first == ras::Connected); },
            10s));
        if (handle != nullptr)
            *handle = dialed;
        return steps;
    }

    sim::Answer control(sim::Op op, const QString& entry = QString())
    {
        sim::Request request;
        request.op = op;
        request.entry = entry;
        const auto answer = client()->call(request);
        EXPECT_TRUE(answer.has_value());
        return answer.value_or(sim::Answer {});
    }
};
using ServiceRobustnessTest = DialupServiceTest;

class ServiceTrustTest : public DialupServiceTest
{
protected:
    void SetUp() override
    {
        if (getuid() != 0)
            GTEST_SKIP() << "needs root to act as another user";
        DialupServiceTest::SetUp();
        // Another user may make folders here, as in the system's temporary folder.
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    }

    // setpriv's arguments that run `program` as the other user.
    static QStringList asOtherUser(const QStringList& program)
    {
        return QStringList { "--reuid", "65534", "--regid", "65534", "--clear-groups" } + program;
    }
};

// vorn-rasdial, with dialing rules in the hive for --cycle where the command line says nothing else.
class ToolsTest : public DialupServiceTest
{
protected:
    void SetUp() override
    {
        DialupServiceTest::SetUp();
        qputenv("VORN_DIALUP_SOCKET", service.socketPath().toUtf8());
        qputenv("VORN_REGISTRY", hivePath().toUtf8());
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

TEST_F(DialupServiceTest, DialsRunThroughThePublishedStatesInOrder)
{
    const auto access = client();
    EXPECT_EQ(dialToEnd(*access, "Busy Line"), failed(3, ras::LineBusy));
    EXPECT_EQ(dialToEnd(*access, "Nobody Home"), failed(3, ras::NoAnswer));
    EXPECT_EQ(dialToEnd(*access, "no tone"), failed(3, ras::NoDialTone));
    EXPECT_EQ(dialToEnd(*access, "Refused"), failed(6, ras::AuthenticationFailure));
    EXPECT_EQ(dialToEnd(*access, "quick"), connected); // letter case does not matter

    // The outcomes follow one another; the last one repeats.
    for (const int expected : { 676, 676, 0, 0 })
        EXPECT_EQ(dialToEnd(*access, "Twice Busy").last().second, std::uint32_t(expected));
    // A reload reads the phonebook again, counts its bad sections and starts the counts over.
    QByteArray many;
    for (int i = 0; i < 3000; ++i)
        many += "[Entry number " + QByteArray::number(i) + " with a fairly long name]\n";
    writePhonebook(testPhonebook + many + "\n[]\nOutcomes=busy\n[bad\\name]\n");
    const auto reload = control(sim::Op::Reload);
    EXPECT_EQ(reload.warnings.size(), 2) << qPrintable(reload.warnings.join(QLatin1Char('\n')));
    EXPECT_EQ(dialToEnd(*access, "Twice Busy").last().second, ras::LineBusy);
    // A listing larger than the buffer is counted whole.
    std::vector<RASENTRYNAME> entries(20);
    entries[0].dwSize = sizeof(RASENTRYNAME);
    auto bytes = std::uint32_t(entries.size() * sizeof(RASENTRYNAME));
    std::uint32_t count = 0;
    EXPECT_EQ(access->enumEntries(phonebook().constData(), entries.data(), &bytes, &count), ras::BufferTooSmall);
    EXPECT_EQ(count, 3008U);
    EXPECT_EQ(bytes, 3008U * sizeof(RASENTRYNAME));
    EXPECT_EQ(fieldText(entries[19].szEntryName), "Entry number 11 with a fairly long name");

    // A dial starts without waiting for the service: what it refuses comes as the only notification.
    EXPECT_EQ(dialToEnd(*access, "Nowhere"), QList<DialStep>({ { ras::OpenPort, 623 } }));
    EXPECT_EQ(
        dialToEnd(*access, "Quick", nullptr, "/no/such/phonebook.pbk"), QList<DialStep>({ { ras::OpenPort, 621 } }));
}

TEST_F(DialupServiceTest, EveryClientSeesTheConnectionUntilHungUpOrDropped)
{
    const auto first = client();
    const auto second = client();
    RasHandle handle = 0;
    dialToEnd(*first, "Quick", &handle);
    const auto seen = connectionsOf(*second);
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].hrasconn, handle);
    EXPECT_EQ(fieldText(seen[0].szEntryName), "Quick");
    EXPECT_EQ(fieldText(seen[0].szDeviceName), "Fast Modem");
    // The second client hangs up what the first dialed; the hang-up returns before the line is closed.
    EXPECT_EQ(second->hangUp(handle), 0U);
    EXPECT_TRUE(waitUntil([&] { return connectionsOf(*first).empty(); }, 2s));
    EXPECT_EQ(first->hangUp(handle), ras::InvalidHandle);

    // A dropped line (any letter case) vanishes for both, and its status says why.
    dialToEnd(*first, "Quick", &handle);
    // Rate= bytes a second each way while the line is up; a broken line's count stands.
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    EXPECT_TRUE(waitUntil([&] { return second->connectionTraffic(handle, &in, &out) == 0 && in >= 300; }, 3s));
    EXPECT_EQ(in, out);

    EXPECT_EQ(control(sim::Op::Drop, "QUICK").result, 0U);
    // What the answers to 300 ms of asking say (they arrive on the way).
    const auto settled = [&] {
        std::uint64_t bytes = 0;
        waitUntil([&] { return second->connectionTraffic(handle, &bytes, &out) != ras::Success; }, 300ms);
        return bytes;
    };
    const std::uint64_t atDrop = settled();
    EXPECT_GE(atDrop, in);
    EXPECT_EQ(settled(), atDrop) << "a broken line's count stands";
    EXPECT_TRUE(connectionsOf(*first).empty());
    EXPECT_TRUE(connectionsOf(*second).empty());
    RASCONNSTATUS status {};
    status.dwSize = sizeof status;
    EXPECT_EQ(first->connectStatus(handle, &status), 0U);
    EXPECT_EQ(status.rasconnstate, std::uint32_t(ras::Disconnected));
    EXPECT_EQ(status.dwError, ras::RemoteDisconnection);
    EXPECT_EQ(control(sim::Op::Drop, "Quick").result, ras::InvalidHandle);

    // A line with DropAfter breaks by itself.
    dialToEnd(*first, "Short Lived");
    EXPECT_EQ(connectionsOf(*second).size(), 1U);
    EXPECT_TRUE(waitUntil([&] { return connectionsOf(*second).empty(); }, 3s));
}

TEST_F(DialupServiceTest, MalformedAndOversizedRequestsGetAnErrorAnswer)
{
    const auto raw = rawClient(service.socketPath());
    const auto exchange = [&raw](const QByteArray& request) {
        raw->write(request);
        raw->flush();
        return readLines(*raw, 1);
    };
    // Every client is first told the connections.
    EXPECT_EQ(readLines(*raw, 1), "{\"event\":\"connections\",\"lines\":[]}\n");
    // What the parser refuses (DialupProtocolTest) is answered with the reason.
    const auto answer = sim::parseServiceMessage(exchange("{\"op\":\"dial\",\"id\":1}\n").trimmed());
    ASSERT_TRUE(std::holds_alternative<sim::Answer>(answer));
    EXPECT_EQ(std::get<sim::Answer>(answer).result, ras::InvalidParameter);
    EXPECT_FALSE(std::get<sim::Answer>(answer).message.isEmpty());
    // The same client is still served.
    EXPECT_TRUE(exchange("{\"op\":\"connections\",\"id\":5}\n").startsWith("{\"re\":5,\"result\":0"));

    // A message with no end in sight is answered and its client let go.
    const QByteArray tooLong = exchange(QByteArray(sim::MaxRequestBytes + 10, 'x'));
    EXPECT_TRUE(tooLong.contains("too long")) << tooLong.constData();
    EXPECT_TRUE(waitUntil([&] { return raw->state() == QLocalSocket::UnconnectedState; }, 3s));

    // Everyone else goes on as before.
    EXPECT_EQ(dialToEnd(*client(), "Busy Line").last().second, ras::LineBusy);
}

TEST_F(DialupServiceTest, ConnectionShowsTheDialerWindowsUntilHungUp)
{
    if (!inTestSession())
        GTEST_SKIP() << "needs the test display";
    service.kill();
    ASSERT_TRUE(service.start());
    // Only this test's service's windows count; others may show the same titles.
    const auto shown = [this](const char* title) {
        return !findWindow(QStringLiteral("^%1$").arg(QLatin1String(title)), service.processId()).isEmpty();
    };
    const auto access = client();
    RasHandle handle = 0;
    dialToEnd(*access, "Quick", &handle);
    EXPECT_TRUE(waitUntil([&] { return shown("Connection Established"); }, 5s));
    EXPECT_TRUE(waitUntil([&] { return shown("Connected to Quick"); }, 5s));
    access->hangUp(handle);
    EXPECT_TRUE(waitUntil([&] { return !shown("Connected to Quick") && !shown("Connection Established"); }, 5s));
}

TEST_F(ServiceRobustnessTest, ClientsLeavingAtAnyMomentHarmNoOtherClient)
{
    const auto holder = client();
    RasHandle held = 0;
    ASSERT_EQ(dialToEnd(*holder, "Quick", &held).last(), DialStep(ras::Connected, 0));

    // Groups of clients dial, and each leaves at its own moment: before its
    // answer, with it, or somewhere in the steps that follow.
    const QByteArray dial = R"({"id":1,"op":"dial","entry":"Busy Line","phonebook":")" + phonebook() + "\"}\n";
    std::mt19937 random(13);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        for (int i = 0; i < 20; ++i) {
            clients.push_back(rawClient(service.socketPath(), dial));
            ASSERT_EQ(clients.back()->state(), QLocalSocket::ConnectedState) << "the service stopped taking clients";
        }
        for (const auto& leaving : clients) {
            if (random() % 2 == 0)
                readLines(*leaving, 2 + int(random() % 3)); // the connections, the answer, some steps
            usleep(random() % 3000);
            leaving->abort();
        }
    }
    ASSERT_EQ(service.process().state(), QProcess::Running);
    const auto seen = connectionsOf(*client());
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].hrasconn, held);
    // The attempts of the clients that left were hung up with them.
    EXPECT_TRUE(waitUntil([&] { return control(sim::Op::Lines).lines.size() == 1; }, 3s));
}

TEST_F(ServiceRobustnessTest, FloodPastTheFileLimitIsRefusedAndListeningGoesOn)
{
    service.kill();
    service.process().setChildProcessModifier([] {
        // Room for 208 clients beside the service's reserve, so sanitizer builds have theirs too.
        const rlimit files { 256, 256 };
        setrlimit(RLIMIT_NOFILE, &files);
    });
    ASSERT_TRUE(service.start());
    std::vector<std::unique_ptr<QLocalSocket>> flood;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        flood.push_back(rawClient(service.socketPath()));
        ASSERT_EQ(flood.back()->state(), QLocalSocket::ConnectedState);
        if (readLines(*flood.back(), 1).contains("too many clients"))
            ++refused;
    }
    EXPECT_GE(refused, 300 - 208);

    // While the flood holds on, a client is told why it is not served.
    const auto waiting = client();
    std::uint32_t bytes = 0;
    std::uint32_t count = 0;
    EXPECT_EQ(waiting->enumConnections(nullptr, &bytes, &count), ras::ServiceUnavailable);
    char text[ras::MaxError + 1] = {};
    waiting->errorString(ras::ServiceUnavailable, text, ras::MaxError);
    EXPECT_TRUE(QByteArray(text).contains("too many clients")) << text;
    flood.clear();

    // Once it has passed, clients are served on the same socket again.
    EXPECT_TRUE(waitUntil([&] { return client()->enumConnections(nullptr, &bytes, &count) == ras::Success; }, 5s));
    EXPECT_EQ(dialToEnd(*client(), "Quick").last(), DialStep(ras::Connected, 0));
    EXPECT_EQ(service.process().state(), QProcess::Running);
}

// An attempt fails when its service dies; a service a client starts that cannot
// listen tells it why, and so the wizard's status.
TEST_F(ServiceRobustnessTest, KilledServiceOrFileAtTheSocketPathFailsTheAttemptWithTheReason)
{
    TRAS killed(nullptr, client());
    killed.setPhoneBookPath(phonebookPath());
    killed.EntryName = QStringLiteral("Slow");
    ASSERT_EQ(killed.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return killed.ConnState() == ras::OpenPort; }, 2s));
    service.kill();
    EXPECT_TRUE(waitUntil([&] { return killed.QueryStatus() > 601; }, 3s));
    EXPECT_EQ(killed.LastError(), int(ras::PortDisconnected));

    const QString notes = phonebookPath();
    TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(notes));
    engine.EntryName = QStringLiteral("Quick");
    ASSERT_EQ(engine.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return engine.QueryStatus() > 601; }, 10s));
    EXPECT_EQ(engine.LastError(), int(ras::ServiceUnavailable));
    EXPECT_EQ(engine.StatusText(),
        "The remote-access service could not be reached: cannot listen on " + notes
            + ": a file that is not a socket is there; it is left as it is.");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), testPhonebook);
}

// A client dialing with a password sends nothing where another user could
// read it, and the service serves no client of another user.
TEST_F(ServiceTrustTest, NothingPassesBetweenUsers)
{
    // Without a runtime folder the socket lives below the temporary folder,
    // where another user made our folder first.
    const QString own = dir.filePath(QStringLiteral("vorn95-%1").arg(getuid()));
    const auto made = runProgram("setpriv", asOtherUser({ "mkdir", "-p", own + "/vorn95" }));
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    auto fallback = QProcessEnvironment::systemEnvironment();
    fallback.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    fallback.remove(QStringLiteral("VORN_DIALUP_SOCKET"));
    fallback.insert(QStringLiteral("TMPDIR"), dir.path());
    fallback.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    // A listener of the other user at a socket path records what reaches it.
    const QString path = dir.filePath(QStringLiteral("shared/dialup.sock"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::setPermissions(QFileInfo(path).absolutePath(), QFileDevice::Permissions(0x7777));
    QProcess fake;
    fake.start("setpriv",
        asOtherUser({ "/usr/bin/python3", "-c",
            "import socket, sys\n"
            "s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(); s.settimeout(10)\n"
            "c, _ = s.accept(); c.settimeout(2)\n"
            "try:\n    print(c.recv(65536))\nexcept OSError:\n    print('nothing')\n",
            path }));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(path); }, 5s));
    auto listened = QProcessEnvironment::systemEnvironment();
    listened.insert(QStringLiteral("VORN_DIALUP_SOCKET"), path);

    const std::pair<QProcessEnvironment, QByteArray> cases[] = {
        { listened, "the dial-up service at " + path.toUtf8() + " is run by another user (65534)" },
        { fallback,
            "Remote access error 711 - The remote-access service could not be reached: " + own.toUtf8()
                + " is not a private folder of this user (it belongs to user 65534)." },
    };
    for (const auto& [environment, says] : cases) {
        QProcess rasdial;
        rasdial.setProcessEnvironment(environment);
        rasdial.start(binPath("vorn-rasdial"), { "Office", "alice", "s3cret-pw" });
        EXPECT_TRUE(rasdial.waitForFinished(15000));
        EXPECT_EQ(rasdial.exitCode(), 1);
        const QByteArray said = rasdial.readAllStandardOutput();
        EXPECT_TRUE(said.contains(says)) << said.constData();
    }
    EXPECT_TRUE(QDir(own + "/vorn95").isEmpty()) << "nothing of ours in the other user's folder";
    ASSERT_TRUE(fake.waitForFinished(15000));
    const QByteArray received = fake.readAllStandardOutput();
    EXPECT_TRUE(received == "b''\n" || received == "nothing\n") << received.constData();

    // The other way round: a client of the other user, let reach the socket,
    // meets the service's own check.
    for (const QString& opened : { dir.filePath(QStringLiteral("run")), service.socketPath() })
        QFile::setPermissions(opened, QFileDevice::Permissions(0x7777));
    const auto answer = runProgram("setpriv",
        asOtherUser({ "/usr/bin/python3", "-c",
            "import socket, sys\ns = socket.socket(socket.AF_UNIX); s.settimeout(5)\n"
            "s.connect(sys.argv[1]); print(s.makefile('rb').read(512))\n",
            service.socketPath() }));
    // Refused at once, before it could ask anything.
    EXPECT_TRUE(answer.out.contains("refused")) << answer.out.constData() << answer.err.constData();
}

// A command-line session: each command's exit code and what it says (usage errors on standard error).
TEST_F(ToolsTest, RasdialDialsListsDropsHangsUpAndNamesWhatIsWrong)
{
    const struct {
        QStringList args;
        int exitCode;
        const char* says;
    } steps[] = {
        { { "Busy Line" }, 1,
            "Connecting device Standard Modem (modem)...\nRemote access error 676 - The line is busy." },
        { { "Quick", "user", "secret" }, 0,
            "Connecting device Fast Modem (modem)...\nDevice connected.\nAll devices connected." },
        { {}, 0, "Connected to\nQuick\n" }, // the line outlives the program that dialed it
        { { "--drop", "Quick" }, 0, "Command completed successfully." },
        { {}, 0, "No connections" },
        { { "Quick", "/DISCONNECT" }, 1, "You are not connected to Quick." },
        { { "Quick" }, 0, "Authenticated.\nConnected to Quick.\n" },
        { { "Quick" }, 0, "You are already connected to Quick.\n" },
        { { "quick", "/DISCONNECT" }, 0, "Command completed successfully." },
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
        { { "--cycle", "X", "--policy", "line=drop,=stop" }, 2, "wrong use of --cycle" },
        { { "--cycle", "X", "--pause-limit" }, 2, "wrong use of --cycle" },
        { { "--cycle", "Refused", "Busy Line" }, 3, "Dialing stopped: Refused failed (error 691: " },
        { { "--cycle", "Refused", "--policy", "account=drop" }, 3, "every entry was left out.\nRefused: error 691" },
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

TEST_F(ToolsTest, ServiceStartsOnDemandEndsWhenIdleAndIsGivenUpOnWhenStopped)
{
    const QString spawnedSocket = dir.filePath("spawned/dialup.sock");
    qputenv("VORN_DIALUPD_IDLE_EXIT", "1");
    EXPECT_TRUE(connectionsOf(*std::make_unique<sim::SimRemoteAccess>(spawnedSocket)).empty());
    qunsetenv("VORN_DIALUPD_IDLE_EXIT");
    ASSERT_TRUE(QFile::exists(spawnedSocket));
    EXPECT_EQ(QFileInfo(dir.filePath("spawned")).permissions() & 0x0077, 0);
    // Idle with no client for a second: it ends and takes its socket along.
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(spawnedSocket); }, 5s));

    // One that stops answering is given up on.
    ::kill(pid_t(service.processId()), SIGSTOP);
    const auto result = rasdial({ "Quick" });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
        "Remote access error 711 - The remote-access service could not be reached: the dial-up service did not "
        "answer within 5 seconds.\n");
}

TEST_F(CycleTest, RefusedPasswordDroppedBusyCycledThirdConnectsAndIsRecorded)
{
    const auto result = rasdial(
        { "--cycle", "Refused", "Busy Line", "Twice Busy", "--policy", "account=drop,device=stop", "--rounds", "3" });
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out,
        "Refused, round 1: error 691 - The user name or password was refused by the remote server.\n"
        "Busy Line, round 1: error 676 - The line is busy.\n"
        "Twice Busy, round 1: error 676 - The line is busy.\n"
        "Busy Line, round 2: error 676 - The line is busy.\n"
        "Twice Busy, round 2: error 676 - The line is busy.\n"
        "Busy Line, round 3: error 676 - The line is busy.\n"
        "Twice Busy, round 3: connected.\n");
    EXPECT_TRUE(rasdial({}).out.contains("Connected to\nTwice Busy\n")) << "the line stays up after the program";

    SqliteRegistry hive(hivePath());
    TRegFile reg(nullptr, &hive);
    reg.RootKey = hkLocalMachine;
    reg.Key = stats::EntryKey("Twice Busy");
    EXPECT_EQ(reg.ReadValue(QLatin1String(stats::Accesses)).toInt(), 1);
    EXPECT_NE(reg.ReadValue(QLatin1String(stats::LastAccess)).toString(), stats::NeverAccessed);
    EXPECT_EQ(dialing::ReadFailures(reg, "Busy Line"), (QList<QPair<int, qint32>> { { 676, 3 } }));
    EXPECT_EQ(dialing::ReadFailures(reg, "Refused"), (QList<QPair<int, qint32>> { { 691, 1 } }));
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
