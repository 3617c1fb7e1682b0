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

// However NetworkManager activates a profile and however late its reports come,
// every published state is seen once, in order; connected only at the end.
TEST(DialProgress, ActivationsPassEveryPublishedStateInOrderOnce)
{
    DialProgress vpn;
    QList<std::uint32_t> seen = vpn.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATING);
    for (const auto state :
        { NM_VPN_CONNECTION_STATE_PREPARE, NM_VPN_CONNECTION_STATE_NEED_AUTH, NM_VPN_CONNECTION_STATE_CONNECT,
            NM_VPN_CONNECTION_STATE_IP_CONFIG_GET, NM_VPN_CONNECTION_STATE_ACTIVATED })
        seen += vpn.vpnStateChanged(state);
    EXPECT_FALSE(vpn.connected());
    seen += vpn.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED);
    EXPECT_EQ(seen, Published);
    EXPECT_TRUE(vpn.connected());

    DialProgress device;
    seen.clear();
    for (const auto state : { NM_DEVICE_STATE_PREPARE, NM_DEVICE_STATE_CONFIG, NM_DEVICE_STATE_NEED_AUTH,
             NM_DEVICE_STATE_IP_CONFIG, NM_DEVICE_STATE_IP_CHECK, NM_DEVICE_STATE_SECONDARIES,
             NM_DEVICE_STATE_ACTIVATED, NM_DEVICE_STATE_FAILED, NM_DEVICE_STATE_DISCONNECTED })
        seen += device.deviceStateChanged(state);
    EXPECT_FALSE(device.connected());
    seen += device.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED);
    EXPECT_EQ(seen, Published);

    // Attached late, the first thing seen is an activated connection; late or
    // repeated reports never go back nor repeat.
    DialProgress late;
    EXPECT_EQ(late.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED), Published);
    EXPECT_TRUE(late.deviceStateChanged(NM_DEVICE_STATE_CONFIG).isEmpty());
    EXPECT_TRUE(late.activeStateChanged(NM_ACTIVE_CONNECTION_STATE_ACTIVATED).isEmpty());
    EXPECT_EQ(late.state(), ras::Connected);
}

// Every reason becomes a code the wizard can show, with NetworkManager's words
// beside it; and the distinctions the wizard acts on hold.
TEST(ReasonMapping, ReasonsAndRefusalsMapToPublishedCodesAndTheWizardsDistinctionsHold)
{
    const auto published = [](std::uint32_t code) { return code != 0 && !rasErrorText(code).isEmpty(); };
    for (int reason = 0; reason <= NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_REMOVED; ++reason) {
        const auto r = NMActiveConnectionStateReason(reason);
        EXPECT_TRUE(published(rasErrorOf(r))) << reason;
        EXPECT_TRUE(published(rasErrorOfBreak(r))) << reason;
        EXPECT_FALSE(reasonText(r).isEmpty()) << reason;
    }
    for (int reason = 0; reason <= NM_DEVICE_STATE_REASON_PEER_NOT_FOUND; ++reason) {
        EXPECT_TRUE(published(rasErrorOf(NMDeviceStateReason(reason)))) << reason;
        EXPECT_FALSE(reasonText(NMDeviceStateReason(reason)).isEmpty()) << reason;
    }
    EXPECT_EQ(rasErrorOf(NM_DEVICE_STATE_REASON_MODEM_BUSY), ras::LineBusy);
    EXPECT_EQ(rasErrorOf(NM_DEVICE_STATE_REASON_MODEM_DIAL_TIMEOUT), ras::NoAnswer);
    EXPECT_EQ(rasErrorOf(NM_ACTIVE_CONNECTION_STATE_REASON_LOGIN_FAILED), ras::AuthenticationFailure);
    EXPECT_EQ(rasErrorOf(NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT), ras::NoAnswer);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_UNKNOWN), ras::RemoteDisconnection);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_USER_DISCONNECTED), ras::UserDisconnection);
    EXPECT_EQ(rasErrorOfBreak(NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT), ras::NoAnswer);

    // Activation requests NetworkManager refuses.
    const std::tuple<GQuark, int, std::uint32_t> cases[]
        = { { managerErrorDomain(), NM_MANAGER_ERROR_UNKNOWN_CONNECTION, ras::CannotFindPhonebookEntry },
              { managerErrorDomain(), NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE, DeviceDoesNotExist },
              { G_IO_ERROR, G_IO_ERROR_FAILED, HardwareFailure } };
    for (const auto& [domain, code, expected] : cases) {
        GError* error = g_error_new_literal(domain, code, "why");
        EXPECT_EQ(rasErrorOfActivation(error), expected) << code;
        g_error_free(error);
    }
}

// The type list itself is the listing's (NetworkManagerTest): Bluetooth is
// dial-up only as a dial-up networking profile.
TEST(Profiles, BluetoothIsAnEntryOnlyAsDialUpNetworking)
{
    EXPECT_TRUE(isDialable("bluetooth", "dun"));
    EXPECT_FALSE(isDialable("bluetooth", "panu"));
    EXPECT_FALSE(isDialable("bluetooth"));
    EXPECT_FALSE(isDialable(static_cast<const char*>(nullptr)));
}
