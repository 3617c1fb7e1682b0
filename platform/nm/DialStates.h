#pragma once

#include "platform/nm/LibNm.h"

#include <QList>
#include <QString>

#include <cstdint>

// How NetworkManager's view of an activation translates into the published
// remote-access states and error codes.
namespace vorn::nm
{

// Profiles this program dials: VPNs, PPPoE, mobile broadband, Bluetooth
// dial-up, ADSL. Ethernet, Wi-Fi and the like are networks, not lines.
bool isDialable(const char* connectionType, const char* bluetoothType = nullptr);
bool isDialable(NMConnection* connection);

// The published state one activation has reached. NetworkManager reports up
// to three state machines (active connection, device, VPN); each report
// moves the attempt forward to its published counterpart, passing through
// every published state on the way and never going back, so callers always
// see the published order however NetworkManager's reports fall together.
class DialProgress
{
public:
    // The published states newly reached, in order; empty when none.
    QList<std::uint32_t> activeStateChanged(NMActiveConnectionState state);
    QList<std::uint32_t> deviceStateChanged(NMDeviceState state);
    QList<std::uint32_t> vpnStateChanged(NMVpnConnectionState state);

    // The last state reached (open port before the first report).
    std::uint32_t state() const;
    bool connected() const;

private:
    QList<std::uint32_t> advanceTo(std::uint32_t state);

    int reached_ = -1;
};

// Published codes the interface has no name for.
constexpr std::uint32_t DeviceDoesNotExist = 608;
constexpr std::uint32_t HardwareFailure = 630;
constexpr std::uint32_t NoProtocols = 720;

// Published error codes for NetworkManager's reasons. Reasons of an active
// connection and of a VPN connection share their numbers.
std::uint32_t rasErrorOf(NMActiveConnectionStateReason reason);
std::uint32_t rasErrorOf(NMDeviceStateReason reason);
// For a line that was up and went down: the other end closed it, unless
// NetworkManager names another cause (it often gives none for a VPN).
std::uint32_t rasErrorOfBreak(NMActiveConnectionStateReason reason);
// The error domain of NetworkManager's refusals (libnm declares its own
// function for it without C linkage).
GQuark managerErrorDomain();
// For an activation request NetworkManager refused.
std::uint32_t rasErrorOfActivation(const GError* error);

// NetworkManager's name of a reason, in words ("connect timeout").
QString reasonText(NMActiveConnectionStateReason reason);
QString reasonText(NMDeviceStateReason reason);

} // namespace vorn::nm
