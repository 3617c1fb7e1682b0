// The simulated dial-up service process, driven through its real client.
#include "DialupFixture.h"
#include "rascomp/Rascomp32.h"

#include <QLocalSocket>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

// A phonebook section that steps quickly through its outcomes.
QByteArray entry(const char* name, const char* outcomes, const char* more = "")
{
    return QByteArray("[") + name + "]\nOutcomes=" + outcomes + "\nStepDelay=10\n" + more + "\n";
}

const QByteArray testPhonebook = entry("Busy Line", "busy", "Device=Sportster 28800\nDeviceType=modem\n")
    + entry("Nobody Home", "noanswer") + entry("no tone", "nodialtone")
    + entry("Quick", "connect", "Device=Fast Modem\nRate=1000\n") + entry("Refused", "badpassword")
    + entry("Twice Busy", "busy,busy,connect") + "[Slow]\nOutcomes=connect\nStepDelay=5000\n\n"
    + entry("Short Lived", "connect", "DropAfter=1\n");

const QList<DialStep> beforeDevice { { ras::OpenPort, 0 }, { ras::PortOpened, 0 }, { ras::ConnectDevice, 0 } };
const QList<DialStep> connected = beforeDevice
    + QList<DialStep> { { ras::DeviceConnected, 0 }, { ras::AllDevicesConnected, 0 }, { ras::Authenticate, 0 },
          { ras::Authenticated, 0 }, { ras::Connected, 0 } };

// The steps of a dial that fails with `error` once the device is being connected.
QList<DialStep> failedAtDevice(std::uint32_t error)
{
    return beforeDevice + QList<DialStep> { { ras::ConnectDevice, error } };
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

    // One raw request line to the service, and the first line it answers.
    QByteArray rawExchange(QLocalSocket& socket, const QByteArray& request)
    {
        socket.write(request);
        socket.flush();
        waitUntil([&socket] { return socket.canReadLine() || socket.state() != QLocalSocket::ConnectedState; }, 5s);
        return socket.readLine();
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

} // namespace

TEST_F(DialupServiceTest, DialsRunThroughThePublishedStatesInOrder)
{
    const auto access = client();
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Busy Line")), failedAtDevice(ras::LineBusy));
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Nobody Home")), failedAtDevice(ras::NoAnswer));
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("no tone")), failedAtDevice(ras::NoDialTone));
    const QList<DialStep> refused = connected.mid(0, 6) + QList<DialStep>({ { ras::Authenticate, 691 } });
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Refused")), refused);
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("quick")), connected); // letter case does not matter

    // The outcomes follow one another; the last one repeats.
    for (const int expected : { 676, 676, 0, 0 })
        EXPECT_EQ(dialToEnd(*access, QStringLiteral("Twice Busy")).last().second, std::uint32_t(expected));

    // A dial starts without waiting for the service: what it refuses comes as the only notification.
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Nowhere")), QList<DialStep>({ { ras::OpenPort, 623 } }));
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Quick"), nullptr, "/no/such/phonebook.pbk"),
        QList<DialStep>({ { ras::OpenPort, 621 } }));
}

TEST_F(DialupServiceTest, EveryClientSeesTheConnectionUntilHungUpOrDropped)
{
    const auto first = client();
    const auto second = client();
    RasHandle handle = 0;
    dialToEnd(*first, QStringLiteral("Quick"), &handle);
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
    dialToEnd(*first, QStringLiteral("Quick"), &handle);
    // Rate= bytes a second each way while the line is up; a broken line's count stands.
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    EXPECT_TRUE(waitUntil([&] { return second->connectionTraffic(handle, &in, &out) == 0 && in >= 300; }, 3s));
    EXPECT_EQ(in, out);

    EXPECT_EQ(control(sim::Op::Drop, QStringLiteral("QUICK")).result, 0U);
    // The count after 300 ms of asking (answers arrive on the way).
    const auto settled = [&] {
        std::uint64_t bytes = 0;
        waitUntil(
            [&] {
                first->connectionTraffic(handle, &bytes, &out);
                return false;
            },
            300ms);
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
    EXPECT_EQ(control(sim::Op::Drop, QStringLiteral("Quick")).result, ras::InvalidHandle);

    // A line with DropAfter breaks by itself.
    dialToEnd(*first, QStringLiteral("Short Lived"));
    EXPECT_EQ(connectionsOf(*second).size(), 1U);
    EXPECT_TRUE(waitUntil([&] { return connectionsOf(*second).empty(); }, 3s));
}

TEST_F(DialupServiceTest, ServiceKilledMidDialFailsTheAttempt)
{
    TRAS engine(nullptr, client());
    engine.setPhoneBookPath(phonebookPath());
    engine.EntryName = QStringLiteral("Slow");
    bool opening = false;
    engine.OnAboutToOpenPort = [&](QObject*) { opening = true; };
    ASSERT_EQ(engine.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return opening; }, 2s));
    service.kill();
    EXPECT_TRUE(waitUntil([&] { return engine.QueryStatus() > 601; }, 3s));
    EXPECT_EQ(engine.LastError(), int(ras::PortDisconnected));
    EXPECT_EQ(engine.HangUp(), 0);
}

TEST_F(DialupServiceTest, ClientGoingAwayMidDialHasItsAttemptHungUp)
{
    {
        const auto leaving = client();
        DialRecorder recorder;
        RASDIALPARAMS params {};
        params.dwSize = sizeof params;
        copyToField(params.szEntryName, "Slow");
        RasHandle handle = 0;
        ASSERT_EQ(leaving->dial(phonebook().constData(), params, &recorder, &handle), 0U);
        ASSERT_EQ(control(sim::Op::Lines).lines.size(), 1);
    }
    EXPECT_TRUE(waitUntil([&] { return control(sim::Op::Lines).lines.isEmpty(); }, 3s));
}

TEST_F(DialupServiceTest, MalformedAndOversizedRequestsGetAnErrorAnswer)
{
    QLocalSocket raw;
    raw.connectToServer(socketPath());
    ASSERT_TRUE(raw.waitForConnected(2000));
    // Every client is first told the connections.
    ASSERT_TRUE(waitUntil([&raw] { return raw.canReadLine(); }, 5s));
    EXPECT_EQ(raw.readLine(), "{\"event\":\"connections\",\"lines\":[]}\n");
    // What the parser refuses (DialupProtocolTest) is answered with the reason.
    const auto answer = sim::parseServiceMessage(rawExchange(raw, "{\"op\":\"dial\",\"id\":1}\n").trimmed());
    ASSERT_TRUE(std::holds_alternative<sim::Answer>(answer));
    EXPECT_EQ(std::get<sim::Answer>(answer).result, ras::InvalidParameter);
    EXPECT_FALSE(std::get<sim::Answer>(answer).message.isEmpty());
    // The same client is still served.
    EXPECT_TRUE(rawExchange(raw, "{\"op\":\"connections\",\"id\":5}\n").startsWith("{\"re\":5,\"result\":0"));

    // A message with no end in sight is answered and its client let go.
    const QByteArray tooLong = rawExchange(raw, QByteArray(sim::MaxRequestBytes + 10, 'x'));
    EXPECT_TRUE(tooLong.contains("too long")) << tooLong.constData();
    EXPECT_TRUE(waitUntil([&] { return raw.state() == QLocalSocket::UnconnectedState; }, 3s));

    // Everyone else goes on as before.
    EXPECT_EQ(dialToEnd(*client(), QStringLiteral("Busy Line")).last().second, ras::LineBusy);
}

TEST_F(DialupServiceTest, ReloadReadsThePhonebookAgainAndReportsBadSections)
{
    const auto access = client();
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Twice Busy")).last().second, ras::LineBusy);
    writePhonebook(testPhonebook + "\n[]\nOutcomes=busy\n[bad\\name]\n");
    const auto answer = control(sim::Op::Reload);
    EXPECT_EQ(answer.result, 0U);
    EXPECT_EQ(answer.warnings.size(), 2) << qPrintable(answer.warnings.join(QLatin1Char('\n')));
    EXPECT_EQ(access->enumEntries(phonebook().constData(), nullptr, nullptr, nullptr), ras::InvalidParameter);
    // Dial counts start over.
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Twice Busy")).last().second, ras::LineBusy);
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Twice Busy")).last().second, ras::LineBusy);
    EXPECT_EQ(dialToEnd(*access, QStringLiteral("Twice Busy")).last(), DialStep(ras::Connected, 0));
}

TEST_F(DialupServiceTest, DefaultPhonebookIsSeededFromTheSample)
{
    TRAS engine(nullptr, client());
    EXPECT_EQ(engine.EnumEntries(), 0);
    EXPECT_TRUE(engine.Entries().contains(QStringLiteral("Office")));
    EXPECT_TRUE(engine.Entries().contains(QStringLiteral("backup")));
    EXPECT_TRUE(engine.Entries().contains(QStringLiteral("Home")));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("config/vorn95/rasphone.pbk"))));
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
    dialToEnd(*access, QStringLiteral("Quick"), &handle);
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
    const auto access = client();
    std::vector<RASENTRYNAME> entries(20);
    entries[0].dwSize = sizeof(RASENTRYNAME);
    auto bytes = std::uint32_t(entries.size() * sizeof(RASENTRYNAME));
    std::uint32_t count = 0;
    EXPECT_EQ(access->enumEntries(phonebook().constData(), entries.data(), &bytes, &count), ras::BufferTooSmall);
    EXPECT_EQ(count, 3000U);
    EXPECT_EQ(bytes, 3000U * sizeof(RASENTRYNAME));
    EXPECT_EQ(fieldText(entries[19].szEntryName), "Entry number 19 with a fairly long name");
}
