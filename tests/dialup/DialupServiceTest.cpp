// The simulated dial-up service process, driven through its real client and
// through raw clients that misbehave.
#include "DialupFixture.h"
#include "rascomp/Rascomp32.h"

#include <QLocalSocket>

#include <sys/resource.h>
#include <unistd.h>

#include <random>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

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

class DialupServiceTest : public DialupFixture
{
protected:
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

    // The request line that dials `name` of our phonebook.
    QByteArray dialRequest(const char* name) const
    {
        return R"({"id":1,"op":"dial","entry":")" + QByteArray(name) + R"(","phonebook":")" + phonebook() + "\"}\n";
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
    writePhonebook(testPhonebook + "\n[]\nOutcomes=busy\n[bad\\name]\n");
    const auto reload = control(sim::Op::Reload);
    EXPECT_EQ(reload.result, 0U);
    EXPECT_EQ(reload.warnings.size(), 2) << qPrintable(reload.warnings.join(QLatin1Char('\n')));
    EXPECT_EQ(dialToEnd(*access, "Twice Busy").last().second, ras::LineBusy);

    // A dial starts without waiting for the service: what it refuses comes as the only notification.
    EXPECT_EQ(dialToEnd(*access, "Nowhere"), QList<DialStep>({ { ras::OpenPort, 623 } }));
    EXPECT_EQ(
        dialToEnd(*access, "Quick", nullptr, "/no/such/phonebook.pbk"), QList<DialStep>({ { ras::OpenPort, 621 } }));
    EXPECT_EQ(access->enumEntries(phonebook().constData(), nullptr, nullptr, nullptr), ras::InvalidParameter);
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
    // The second client hangs up what the first dialed (and, as a hang-up
    // does, returns before the service has closed the line).
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

TEST_F(DialupServiceTest, ServiceKilledMidDialFailsTheAttempt)
{
    TRAS engine(nullptr, client());
    engine.setPhoneBookPath(phonebookPath());
    engine.EntryName = QStringLiteral("Slow");
    ASSERT_EQ(engine.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return engine.ConnState() == ras::OpenPort; }, 2s));
    service.kill();
    EXPECT_TRUE(waitUntil([&] { return engine.QueryStatus() > 601; }, 3s));
    EXPECT_EQ(engine.LastError(), int(ras::PortDisconnected));
}

TEST_F(DialupServiceTest, ClientGoingAwayMidDialHasItsAttemptHungUp)
{
    auto leaving = rawClient(socketPath(), dialRequest("Slow"));
    ASSERT_TRUE(waitUntil([&] { return control(sim::Op::Lines).lines.size() == 1; }, 3s));
    leaving.reset();
    EXPECT_TRUE(waitUntil([&] { return control(sim::Op::Lines).lines.isEmpty(); }, 3s));
}

TEST_F(DialupServiceTest, MalformedAndOversizedRequestsGetAnErrorAnswer)
{
    const auto raw = rawClient(socketPath());
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

TEST_F(DialupServiceTest, LargePhonebookIsListedWhole)
{
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "[Entry number " + QByteArray::number(i) + " with a fairly long name]\n";
    writePhonebook(text);
    std::vector<RASENTRYNAME> entries(20);
    entries[0].dwSize = sizeof(RASENTRYNAME);
    auto bytes = std::uint32_t(entries.size() * sizeof(RASENTRYNAME));
    std::uint32_t count = 0;
    EXPECT_EQ(client()->enumEntries(phonebook().constData(), entries.data(), &bytes, &count), ras::BufferTooSmall);
    EXPECT_EQ(count, 3000U);
    EXPECT_EQ(bytes, 3000U * sizeof(RASENTRYNAME));
    EXPECT_EQ(fieldText(entries[19].szEntryName), "Entry number 19 with a fairly long name");
}

TEST_F(ServiceRobustnessTest, ClientsLeavingAtAnyMomentHarmNoOtherClient)
{
    const auto holder = client();
    RasHandle held = 0;
    ASSERT_EQ(dialToEnd(*holder, "Quick", &held).last(), DialStep(ras::Connected, 0));

    // Groups of clients dial, and each leaves at its own moment: before its
    // answer, with it, or somewhere in the steps that follow.
    const QByteArray dial = dialRequest("Busy Line");
    std::mt19937 random(13);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        for (int i = 0; i < 20; ++i) {
            clients.push_back(rawClient(socketPath(), dial));
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
        flood.push_back(rawClient(socketPath()));
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

TEST_F(ServiceRobustnessTest, FileAtTheSocketPathIsKeptAndTheReasonReachesTheWizard)
{
    const QString notes = phonebookPath();
    const auto result
        = runProgram(binPath(QStringLiteral("vorn-dialupd")), { QStringLiteral("--socket"), notes }, 10000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(notes.toUtf8() + ": a file that is not a socket")) << result.err.constData();
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), testPhonebook);

    // A client that starts the service there passes on what the service said,
    // as the text of its error and so as the wizard's status.
    TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(notes));
    engine.EntryName = QStringLiteral("Quick");
    ASSERT_EQ(engine.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return engine.QueryStatus() > 601; }, 10s));
    EXPECT_EQ(engine.LastError(), int(ras::ServiceUnavailable));
    EXPECT_EQ(engine.StatusText(),
        "The remote-access service could not be reached: cannot listen on " + notes
            + ": a file that is not a socket is there; it is left as it is.");
}
