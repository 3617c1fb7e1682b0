#include "platform/nm/DialStates.h"

#include "platform/RemoteAccess.h"

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::nm;

namespace
{

const QList<std::uint32_t> Published = { ras::OpenPort, ras::PortOpened, ras::ConnectDevice, ras::DeviceConnected,
    ras::AllDevicesConnected, ras::Authenticate, ras::AuthProject, ras::Authenticated, ras::Connected };

} // namespace

TEST(DialProgress, VpnActivationPassesEveryPublishedStateInOrder)
{
    DialProgress progress;
    QList<std::uint32_t> seen;
    seen += progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATING);
    EXPECT_EQ(seen, QList<std::uint32_t> { ras::OpenPort });
    seen += progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_PREPARE);
    seen += progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_NEED_AUTH);
    EXPECT_EQ(progress.state(), ras::Authenticate);
    seen += progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_CONNECT);
    seen += progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_IP_CONFIG_GET);
    seen += progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_ACTIVATED);
    EXPECT_FALSE(progress.connected());
    seen += progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED);
    EXPECT_EQ(seen, Published);
    EXPECT_TRUE(progress.connected());
}

TEST(DialProgress, DeviceActivationMapsConfigurationToConnectDevice)
{
    DialProgress progress;
    EXPECT_EQ(progress.state(), ras::OpenPort);
    EXPECT_EQ(progress.deviceStateChanged(NM_DEVICE_STATE_PREPARE),
        (QList<std::uint32_t> { ras::OpenPort, ras::PortOpened }));
    EXPECT_EQ(progress.deviceStateChanged(NM_DEVICE_STATE_CONFIG), QList<std::uint32_t> { ras::ConnectDevice });
    EXPECT_EQ(progress.deviceStateChanged(NM_DEVICE_STATE_NEED_AUTH),
        (QList<std::uint32_t> { ras::DeviceConnected, ras::AllDevicesConnected, ras::Authenticate }));
    EXPECT_EQ(progress.deviceStateChanged(NM_DEVICE_STATE_IP_CONFIG), QList<std::uint32_t> { ras::AuthProject });
    EXPECT_EQ(progress.deviceStateChanged(NM_DEVICE_STATE_IP_CHECK), QList<std::uint32_t> { ras::Authenticated });
    EXPECT_TRUE(progress.deviceStateChanged(NM_DEVICE_STATE_SECONDARIES).isEmpty());
    EXPECT_TRUE(progress.deviceStateChanged(NM_DEVICE_STATE_ACTIVATED).isEmpty());
    EXPECT_EQ(
        progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED), QList<std::uint32_t> { ras::Connected });
}

TEST(DialProgress, ReportsThatFellTogetherStillGiveTheWholeSequenceOnce)
{
    DialProgress progress;
    // Attached late: the first thing seen is an activated connection.
    EXPECT_EQ(progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED), Published);
    // Late or repeated reports never go back nor repeat.
    EXPECT_TRUE(progress.deviceStateChanged(NM_DEVICE_STATE_CONFIG).isEmpty());
    EXPECT_TRUE(progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED).isEmpty());
    EXPECT_EQ(progress.state(), ras::Connected);
}

TEST(DialProgress, StatesWithoutPublishedCounterpartReportNothing)
{
    DialProgress progress;
    for (const auto state : { NM_DEVICE_STATE_UNKNOWN, NM_DEVICE_STATE_UNMANAGED, NM_DEVICE_STATE_UNAVAILABLE,
             NM_DEVICE_STATE_DISCONNECTED, NM_DEVICE_STATE_DEACTIVATING, NM_DEVICE_STATE_FAILED })
        EXPECT_TRUE(progress.deviceStateChanged(state).isEmpty()) << state;
    EXPECT_TRUE(progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_FAILED).isEmpty());
    EXPECT_TRUE(progress.vpnStateChanged(NM_VPN_CONNECTION_STATE_DISCONNECTED).isEmpty());
    EXPECT_TRUE(progress.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_DEACTIVATED).isEmpty());
    EXPECT_EQ(progress.state(), ras::OpenPort);
}

TEST(ReasonMapping, ConnectionReasonsBecomePublishedCodes)
{
    const std::pair<NMActiveConnectionStateReason, std::uint32_t> cases[] = {
        { NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT, ras::NoAnswer },
        { NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_START_TIMEOUT, ras::NoAnswer },
        { NM_ACTIVE_CONNECTION_STATE_REASON_NO_SECRETS, ras::AuthenticationFailure },
        { NM_ACTIVE_CONNECTION_STATE_REASON_LOGIN_FAILED, ras::AuthenticationFailure },
        { NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_DISCONNECTED, ras::RemoteDisconnection },
        { NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_STOPPED, ras::RemoteDisconnection },
        { NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_REMOVED, ras::RemoteDisconnection },
        { NM_ACTIVE_CONNECTION_STATE_REASON_USER_DISCONNECTED, ras::UserDisconnection },
        { NM_ACTIVE_CONNECTION_STATE_REASON_IP_CONFIG_INVALID, NoProtocols },
        { NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_START_FAILED, HardwareFailure },
        { NM_ACTIVE_CONNECTION_STATE_REASON_UNKNOWN, HardwareFailure },
    };
    for (const auto& [reason, code] : cases)
        EXPECT_EQ(rasErrorOf(reason), code) << qPrintable(reasonText(reason));
}

TEST(ReasonMapping, ABrokenLineWasClosedByTheOtherEndUnlessNamedOtherwise)
{
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_UNKNOWN), ras::RemoteDisconnection);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_START_FAILED), ras::RemoteDisconnection);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_USER_DISCONNECTED), ras::UserDisconnection);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT), ras::NoAnswer);
}

TEST(ReasonMapping, DeviceReasonsBecomePublishedCodes)
{
    const std::pair<NMDeviceStateReason, std::uint32_t> cases[] = {
        { NM_DEVICE_STATE_REASON_MODEM_BUSY, ras::LineBusy },
        { NM_DEVICE_STATE_REASON_MODEM_DIAL_TIMEOUT, ras::NoAnswer },
        { NM_DEVICE_STATE_REASON_MODEM_NO_CARRIER, ras::NoCarrier },
        { NM_DEVICE_STATE_REASON_CARRIER, ras::NoCarrier },
        { NM_DEVICE_STATE_REASON_MODEM_NO_DIAL_TONE, ras::NoDialTone },
        { NM_DEVICE_STATE_REASON_NO_SECRETS, ras::AuthenticationFailure },
        { NM_DEVICE_STATE_REASON_SIM_PIN_INCORRECT, ras::AuthenticationFailure },
        { NM_DEVICE_STATE_REASON_PPP_START_FAILED, ras::RemoteDisconnection },
        { NM_DEVICE_STATE_REASON_PPP_DISCONNECT, ras::RemoteDisconnection },
        { NM_DEVICE_STATE_REASON_PPP_FAILED, ras::RemoteDisconnection },
        { NM_DEVICE_STATE_REASON_REMOVED, ras::RemoteDisconnection },
        { NM_DEVICE_STATE_REASON_FIRMWARE_MISSING, HardwareFailure },
    };
    for (const auto& [reason, code] : cases)
        EXPECT_EQ(rasErrorOf(reason), code) << qPrintable(reasonText(reason));
}

TEST(ReasonMapping, ReasonsKeepNetworkManagersWordsAndEveryCodeHasText)
{
    EXPECT_EQ(reasonText(NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT), QStringLiteral("connect timeout"));
    EXPECT_EQ(reasonText(NM_DEVICE_STATE_REASON_PPP_START_FAILED), QStringLiteral("ppp start failed"));
    for (const auto code : { ras::LineBusy, ras::NoAnswer, ras::NoCarrier, ras::NoDialTone, ras::AuthenticationFailure,
             ras::RemoteDisconnection, ras::UserDisconnection, DeviceDoesNotExist, HardwareFailure, NoProtocols })
        EXPECT_FALSE(rasErrorText(code).isEmpty()) << code;
}

TEST(ReasonMapping, RefusedActivationRequests)
{
    GError* unknown = g_error_new_literal(managerErrorDomain(), NM_MANAGER_ERROR_UNKNOWN_CONNECTION, "gone");
    GError* unavailable
        = g_error_new_literal(managerErrorDomain(), NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE, "no device");
    GError* other = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "bus");
    EXPECT_EQ(rasErrorOfActivation(unknown), ras::CannotFindPhonebookEntry);
    EXPECT_EQ(rasErrorOfActivation(unavailable), DeviceDoesNotExist);
    EXPECT_EQ(rasErrorOfActivation(other), HardwareFailure);
    for (GError* error : { unknown, unavailable, other })
        g_error_free(error);
}

TEST(Profiles, OnlyDialUpTypesAreEntries)
{
    for (const char* type : { "vpn", "wireguard", "pppoe", "gsm", "cdma", "adsl" })
        EXPECT_TRUE(isDialable(type)) << type;
    for (const char* type : { "802-3-ethernet", "802-11-wireless", "bridge", "loopback", "" })
        EXPECT_FALSE(isDialable(type)) << type;
    EXPECT_FALSE(isDialable(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(isDialable("bluetooth", "dun"));
    EXPECT_FALSE(isDialable("bluetooth", "panu"));
    EXPECT_FALSE(isDialable("bluetooth"));
}
