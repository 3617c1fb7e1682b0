// The NetworkManager backend against a real daemon: the private one of
// scripts/nm-session.sh with its OpenVPN server and test profiles.
#include "platform/nm/NmRemoteAccess.h"
#include "rascomp/Rascomp32.h"
#include "support/ConnectionList.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

const QString Unreachable = QStringLiteral("VPN nobody listens");
const QString NoPassword = QStringLiteral("VPN without password");
const QString Working = QStringLiteral("VPN working");
const QString Pppoe = QStringLiteral("PPPoE line");

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
        const std::pair<std::uint32_t, TNotifyEvent TRAS::*> published[]
            = { { ras::OpenPort, &TRAS::OnAboutToOpenPort }, { ras::PortOpened, &TRAS::OnPortOpened },
                  { ras::ConnectDevice, &TRAS::OnAboutToConnDev }, { ras::DeviceConnected, &TRAS::OnDevConnected },
                  { ras::AllDevicesConnected, &TRAS::OnAllDevsConnected }, { ras::Authenticate, &TRAS::OnAuthenticate },
                  { ras::AuthProject, &TRAS::OnAuthProject }, { ras::Authenticated, &TRAS::OnAuthenticated },
                  { ras::Connected, &TRAS::OnConnect } };
        for (const auto& [state, slot] : published)
            ras_.get()->*slot = [this, state = state](QObject*) { events_.append(state); };
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

    // Dials as the wizard does and waits for the attempt to connect or fail
    // (a status above 601); the engine's last error.
    int dialToEnd(const QString& entry)
    {
        ras_->EntryName = entry;
        EXPECT_EQ(ras_->Dial(), 0);
        const bool ended
            = waitUntil([this] { return ras_->ConnState() == ras::Connected || ras_->QueryStatus() > 601; }, 20s);
        EXPECT_TRUE(ended) << "still dialing " << qPrintable(entry);
        return ras_->QueryStatus();
    }

    // Runs vorn-rasdial on the backend named, or on the one it chooses itself.
    static RunResult rasdial(const QStringList& args, const QByteArray& backend = "nm")
    {
        if (backend.isEmpty())
            qunsetenv("VORN_RAS");
        else
            qputenv("VORN_RAS", backend);
        auto result = runProgram(binPath(QStringLiteral("vorn-rasdial")), args);
        qputenv("VORN_RAS", "sim");
        return result;
    }

    QString session_;
    std::shared_ptr<nm::NmRemoteAccess> service_;
    std::unique_ptr<TRAS> ras_;
    QList<std::uint32_t> events_;
};

} // namespace

TEST_F(NetworkManagerTest, EntriesAreTheDialUpProfilesOnly)
{
    EXPECT_EQ(ras_->EnumEntries(), 0);
    QFile profiles(session_ + QStringLiteral("/profiles"));
    ASSERT_TRUE(profiles.open(QIODevice::ReadOnly));
    QStringList expected = QString::fromUtf8(profiles.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList entries = ras_->Entries();
    expected.sort();
    entries.sort();
    // The Ethernet profile that carries everything is not a dial-up line.
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(service_->dialerCaptionTemplate(), QString());
}

// Each failing profile fails the way NetworkManager says, in its words.
TEST_F(NetworkManagerTest, FailingProfilesGiveTheirPublishedCodeAndNetworkManagersReason)
{
    const struct {
        QString entry;
        int code;
        const char* reason;
    } cases[] = {
        // The profile's VPN timeout is 2 s: the failure is NetworkManager's, not a lost report.
        { Unreachable, ras::NoAnswer, "NetworkManager: connect timeout" },
        { NoPassword, ras::AuthenticationFailure, "NetworkManager: no secrets" },
        // No PPP in the test machine's kernel.
        { Pppoe, ras::RemoteDisconnection, "NetworkManager: ppp" },
    };
    for (const auto& c : cases) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(dialToEnd(c.entry), c.code) << qPrintable(c.entry);
        EXPECT_TRUE(ras_->StatusText().contains(QLatin1String(c.reason))) << qPrintable(ras_->StatusText());
        EXPECT_FALSE(events_.contains(ras::Connected));
        EXPECT_TRUE(connectionsOf(*service_).empty());
        if (c.entry == Unreachable) {
            EXPECT_GE(timer.elapsed(), 1500);
        }
        if (c.entry == Pppoe) {
            EXPECT_EQ(ras_->DeviceType, QStringLiteral("pppoe"));
        }
        ras_->HangUp();
    }
}

TEST_F(NetworkManagerTest, WorkingVpnConnectsThroughThePublishedStatesAndHangsUp)
{
    EXPECT_EQ(dialToEnd(Working), 0);
    ASSERT_TRUE(waitUntil([this] { return events_.contains(ras::Connected); }, 5s));
    EXPECT_EQ(events_,
        (QList<std::uint32_t> { ras::OpenPort, ras::PortOpened, ras::ConnectDevice, ras::DeviceConnected,
            ras::AllDevicesConnected, ras::Authenticate, ras::AuthProject, ras::Authenticated, ras::Connected }));
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
    QFile name(session_ + QStringLiteral("/namespace"));
    ASSERT_TRUE(name.open(QIODevice::ReadOnly));
    EXPECT_EQ(runProgram(QStringLiteral("ip"),
                  { "netns", "exec", QString::fromUtf8(name.readAll().trimmed()), "ping", "-c", "5", "-i", "0.2", "-s",
                      "1000", "10.8.0.1" })
                  .exitCode,
        0);
    EXPECT_TRUE(waitUntil([&] { return ras_->Traffic(in, out) && in >= 5000 && out >= 5000; }, 5s))
        << in << " in, " << out << " out";

    EXPECT_EQ(ras_->HangUp(), 0);
    EXPECT_EQ(ras_->EnumConnections(), 0);
    EXPECT_EQ(ras_->Connections().Count(), 0);
    // NetworkManager itself let the line go, as another client sees.
    nm::NmRemoteAccess other;
    EXPECT_TRUE(waitUntil([&] { return connectionsOf(other).empty(); }, 10s));
}

TEST_F(NetworkManagerTest, HangingUpWhileDialingCallsTheAttemptOff)
{
    ras_->EntryName = Working;
    ASSERT_EQ(ras_->Dial(), 0);
    // Before NetworkManager has even answered the request.
    EXPECT_EQ(ras_->HangUp(), 0);
    const auto activeProfiles = [] {
        return runProgram(QStringLiteral("nmcli"),
            { QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("NAME"), QStringLiteral("connection"),
                QStringLiteral("show"), QStringLiteral("--active") })
            .out;
    };
    EXPECT_TRUE(
        waitUntil([&] { return activeProfiles().contains("Test wired") && !activeProfiles().contains("VPN"); }, 10s))
        << activeProfiles().constData();
    EXPECT_TRUE(events_.isEmpty());
}

TEST_F(NetworkManagerTest, StoppingTheServerBreaksTheLine)
{
    ASSERT_EQ(dialToEnd(Working), 0);
    ASSERT_EQ(ras_->EnumConnections(), 0);
    ASSERT_EQ(ras_->Connections().Count(), 1);

    ASSERT_EQ(server("stop"), 0);
    // The profile gives up after three seconds without the server's pings.
    EXPECT_TRUE(waitUntil([this] { return ras_->EnumConnections() == 0 && ras_->Connections().Count() == 0; }, 15s));
    RASCONNSTATUS status {};
    status.dwSize = sizeof status;
    ASSERT_EQ(service_->connectStatus(ras_->ConnectionHandle(), &status), 0);
    EXPECT_EQ(status.rasconnstate, ras::Disconnected);
    EXPECT_EQ(status.dwError, ras::RemoteDisconnection) << qPrintable(ras_->GetErrorString(int(status.dwError)));
}

TEST_F(NetworkManagerTest, RasdialChoosesNetworkManagerAndNeedsGLibsMainContext)
{
    // With no backend named, the NetworkManager that answers is chosen.
    auto result = rasdial({ Working }, QByteArray());
    EXPECT_EQ(result.exitCode, 0) << result.out.constData() << result.err.constData();
    EXPECT_TRUE(result.out.endsWith("Connected to VPN working.\n")) << result.out.constData();
    EXPECT_EQ(rasdial({ Working, QStringLiteral("/DISCONNECT") }).exitCode, 0);

    // Where Qt does not run GLib's main context no report could arrive: the
    // service says so rather than dialing blind.
    qputenv("QT_NO_GLIB", "1");
    result = rasdial({ Working });
    qunsetenv("QT_NO_GLIB");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("Remote access error 711")) << result.out.constData();
    EXPECT_TRUE(result.err.contains("GLib")) << result.err.constData();
}

TEST_F(NetworkManagerTest, RasdialCyclesFromADeadVpnToTheWorkingOne)
{
    QTemporaryDir hive;
    qputenv("VORN_REGISTRY", hive.filePath(QStringLiteral("registry.db")).toUtf8());
    const auto result = rasdial({ QStringLiteral("--cycle"), Unreachable, Working });
    qunsetenv("VORN_REGISTRY");
    EXPECT_EQ(result.exitCode, 0) << result.out.constData() << result.err.constData();
    EXPECT_EQ(result.out,
        "VPN nobody listens, round 1: error 678 - There was no answer.\nVPN working, round 1: connected.\n");
}
