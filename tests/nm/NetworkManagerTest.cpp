// The NetworkManager backend against the private daemon of scripts/nm-session.sh.
#include "platform/nm/NmRemoteAccess.h"
#include "rascomp/Rascomp32.h"
#include "support/ConnectionList.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

const QString Working = QStringLiteral("VPN working");

class NetworkManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session_ = qEnvironmentVariable("VORN_NM_SESSION");
        if (session_.isEmpty())
            GTEST_SKIP() << "needs the NetworkManager of scripts/nm-session.sh";
        service_ = std::make_shared<nm::NmRemoteAccess>();
        ras_ = std::make_unique<TRAS>(nullptr, service_);
        // The first and the last published state; the ones between are DialProgress's (DialStatesTest).
        ras_->OnAboutToOpenPort = [this](QObject*) { events_.append(ras::OpenPort); };
        ras_->OnConnect = [this](QObject*) { events_.append(ras::Connected); };
    }

    void TearDown() override
    {
        if (session_.isEmpty())
            return;
        ras_.reset();
        // Leave NetworkManager as the next case expects it: no line up, the server running.
        nm::NmRemoteAccess fresh;
        for (const auto& connection : connectionsOf(fresh))
            fresh.hangUp(connection.hrasconn);
        EXPECT_TRUE(waitUntil([&] { return connectionsOf(fresh).empty(); }, 10s));
        EXPECT_EQ(server("start"), 0);
    }

    int server(const char* command) const
    {
        return runProgram(session_ + QStringLiteral("/server"), { QString::fromLatin1(command) }).exitCode;
    }

    // The session's file `name`, one entry a line.
    QStringList sessionFile(const char* name) const
    {
        QFile file(session_ + QLatin1Char('/') + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }

    // Dials as the wizard does until the attempt connects or fails; the engine's last error.
    int dialToEnd(const QString& entry)
    {
        ras_->EntryName = entry;
        EXPECT_EQ(ras_->Dial(), 0);
        const bool ended
            = waitUntil([this] { return ras_->ConnState() == ras::Connected || ras_->QueryStatus() > 601; }, 20s);
        EXPECT_TRUE(ended) << "still dialing " << qPrintable(entry);
        return ras_->QueryStatus();
    }

    QString session_;
    std::shared_ptr<nm::NmRemoteAccess> service_;
    std::unique_ptr<TRAS> ras_;
    QList<std::uint32_t> events_;
};

} // namespace

// Each failing profile fails the way NetworkManager says, in its words.
TEST_F(NetworkManagerTest, FailingProfilesGiveTheirPublishedCodeAndNetworkManagersReason)
{
    const struct {
        const char* entry;
        int code;
        const char* reason;
        const char* deviceType;
    } cases[] = {
        { "VPN without password", ras::AuthenticationFailure, "NetworkManager: no secrets", "vpn" },
        { "PPPoE line", ras::RemoteDisconnection, "NetworkManager: ppp", "pppoe" }, // no PPP in the test kernel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(dialToEnd(c.entry), c.code);
        EXPECT_TRUE(ras_->StatusText().contains(QLatin1String(c.reason))) << qPrintable(ras_->StatusText());
        EXPECT_EQ(ras_->DeviceType, c.deviceType);
        EXPECT_FALSE(events_.contains(ras::Connected));
        EXPECT_TRUE(connectionsOf(*service_).empty());
        ras_->HangUp();
    }
}

// Listed among the dial-up profiles only, the working VPN connects, counts its traffic and
// hangs up; dialed again, it breaks when the server stops (three seconds after its pings stop).
TEST_F(NetworkManagerTest, WorkingVpnConnectsCountsItsTrafficHangsUpAndBreaksWhenTheServerStops)
{
    const auto sorted = [](QStringList list) {
        list.sort();
        return list;
    };
    EXPECT_EQ(ras_->EnumEntries(), 0);
    // Not the Ethernet profile that carries everything.
    EXPECT_EQ(sorted(ras_->Entries()), sorted(sessionFile("profiles")));

    EXPECT_EQ(dialToEnd(Working), 0);
    ASSERT_TRUE(waitUntil([this] { return events_.contains(ras::Connected); }, 5s));
    EXPECT_EQ(events_, QList<std::uint32_t>({ ras::OpenPort, ras::Connected }));
    EXPECT_EQ(ras_->DeviceType, QStringLiteral("vpn"));
    EXPECT_EQ(ras_->DeviceName, QStringLiteral("vnm0"));
    ASSERT_EQ(ras_->EnumConnections(), 0);
    ASSERT_EQ(ras_->Connections().Count(), 1);
    EXPECT_EQ(ras_->Connections().EntryName(0), Working);
    EXPECT_EQ(ras_->Connections().RASConn(0), ras_->ConnectionHandle());

    // Pings through the tunnel count as traffic of this connection.
    qint64 in = 0;
    qint64 out = 0;
    ras_->Traffic(in, out);
    const QStringList ping = { "netns", "exec", sessionFile("namespace").value(0), "ping", "-c", "5", "-i", "0.2", "-s",
        "1000", "10.8.0.1" };
    EXPECT_EQ(runProgram(QStringLiteral("ip"), ping).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return ras_->Traffic(in, out) && in >= 5000 && out >= 5000; }, 5s))
        << in << " in, " << out << " out";

    EXPECT_EQ(ras_->HangUp(), 0);
    // NetworkManager itself let the line go, as another client sees.
    nm::NmRemoteAccess other;
    EXPECT_TRUE(waitUntil([&] { return connectionsOf(other).empty(); }, 10s));

    ras_ = std::make_unique<TRAS>(nullptr, service_); // a fresh engine: no state left from the first dial
    ASSERT_EQ(dialToEnd(Working), 0);
    ASSERT_EQ(server("stop"), 0);
    EXPECT_TRUE(waitUntil([this] { return ras_->EnumConnections() == 0 && ras_->Connections().Count() == 0; }, 15s));
    RASCONNSTATUS status {};
    status.dwSize = sizeof status;
    ASSERT_EQ(service_->connectStatus(ras_->ConnectionHandle(), &status), 0);
    EXPECT_EQ(status.rasconnstate, ras::Disconnected);
    EXPECT_EQ(status.dwError, ras::RemoteDisconnection) << qPrintable(ras_->GetErrorString(int(status.dwError)));
}

TEST_F(NetworkManagerTest, HangingUpWhileDialingCallsTheAttemptOff)
{
    ras_->EntryName = Working;
    ASSERT_EQ(ras_->Dial(), 0);
    // Before NetworkManager has even answered the request.
    EXPECT_EQ(ras_->HangUp(), 0);
    const auto activeProfiles = [] {
        return runProgram(QStringLiteral("nmcli"), { "-t", "-f", "NAME", "connection", "show", "--active" }).out;
    };
    EXPECT_TRUE(
        waitUntil([&] { return activeProfiles().contains("Test wired") && !activeProfiles().contains("VPN"); }, 10s))
        << activeProfiles().constData();
    EXPECT_TRUE(events_.isEmpty());
}

// vorn-rasdial with no backend named chooses the NetworkManager that answers
// and cycles from a dead VPN to the working one. Where Qt does not run GLib's
// main context no report could arrive: it says so rather than dialing blind.
TEST_F(NetworkManagerTest, RasdialChoosesNetworkManagerCyclesAndNeedsGLibsMainContext)
{
    QTemporaryDir hive;
    qputenv("VORN_REGISTRY", hive.filePath(QStringLiteral("registry.db")).toUtf8());
    qunsetenv("VORN_RAS");
    const QString rasdial = binPath(QStringLiteral("vorn-rasdial"));
    auto result = runProgram(rasdial, { QStringLiteral("--cycle"), QStringLiteral("VPN nobody listens"), Working });
    EXPECT_EQ(result.exitCode, 0) << result.out.constData() << result.err.constData();
    EXPECT_EQ(result.out,
        "VPN nobody listens, round 1: error 678 - There was no answer.\nVPN working, round 1: connected.\n");
    EXPECT_EQ(runProgram(rasdial, { Working, QStringLiteral("/DISCONNECT") }).exitCode, 0);

    qputenv("VORN_RAS", "nm");
    qputenv("QT_NO_GLIB", "1");
    result = runProgram(rasdial, { Working });
    qunsetenv("QT_NO_GLIB");
    qunsetenv("VORN_REGISTRY");
    qputenv("VORN_RAS", "sim");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("Remote access error 711")) << result.out.constData();
    EXPECT_TRUE(result.err.contains("GLib")) << result.err.constData();
}
