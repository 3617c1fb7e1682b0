#include "platform/nm/DialStates.h"

#include "platform/RemoteAccess.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>

namespace vorn::nm
{

namespace
{

// The published states an activation passes, in their order.
constexpr std::array Sequence = { ras::OpenPort, ras::PortOpened, ras::ConnectDevice, ras::DeviceConnected,
    ras::AllDevicesConnected, ras::Authenticate, ras::AuthProject, ras::Authenticated, ras::Connected };

// Marks "nothing to report" in the tables below.
constexpr std::uint32_t None = 0xFFFFFFFF;

std::uint32_t publishedStateOf(NMActiveConnectionState state)
{
    switch (state) {
    case NM_ACTIVE_CONNECTION_STATE_ACTIVATING:
        return ras::OpenPort;
    case NM_ACTIVE_CONNECTION_STATE_ACTIVATED:
        return ras::Connected;
    default:
        return None;
    }
}

std::uint32_t publishedStateOf(NMDeviceState state)
{
    switch (state) {
    case NM_DEVICE_STATE_PREPARE:
        return ras::PortOpened;
    case NM_DEVICE_STATE_CONFIG:
        return ras::ConnectDevice;
    case NM_DEVICE_STATE_NEED_AUTH:
        return ras::Authenticate;
    case NM_DEVICE_STATE_IP_CONFIG:
        return ras::AuthProject;
    case NM_DEVICE_STATE_IP_CHECK:
    case NM_DEVICE_STATE_SECONDARIES:
    case NM_DEVICE_STATE_ACTIVATED:
        // Connected is the active connection's to report.
        return ras::Authenticated;
    default:
        return None;
    }
}

std::uint32_t publishedStateOf(NMVpnConnectionState state)
{
    switch (state) {
    case NM_VPN_CONNECTION_STATE_PREPARE:
        return ras::PortOpened;
    case NM_VPN_CONNECTION_STATE_NEED_AUTH:
    case NM_VPN_CONNECTION_STATE_CONNECT:
        return ras::Authenticate;
    case NM_VPN_CONNECTION_STATE_IP_CONFIG_GET:
        return ras::AuthProject;
    case NM_VPN_CONNECTION_STATE_ACTIVATED:
        return ras::Authenticated;
    default:
        return None;
    }
}

QString enumText(GType type, int value)
{
    char* nick = nm_utils_enum_to_str(type, value);
    QString text = QString::fromUtf8(nick).replace(QLatin1Char('-'), QLatin1Char(' '));
    g_free(nick);
    return text;
}

} // namespace

bool isDialable(const char* connectionType, const char* bluetoothType)
{
    if (connectionType == nullptr)
        return false;
    // A Bluetooth profile is a dial-up line only in its dial-up networking form.
    if (std::strcmp(connectionType, NM_SETTING_BLUETOOTH_SETTING_NAME) == 0)
        return bluetoothType != nullptr && std::strcmp(bluetoothType, NM_SETTING_BLUETOOTH_TYPE_DUN) == 0;
    for (const char* type :
        { NM_SETTING_VPN_SETTING_NAME, NM_SETTING_WIREGUARD_SETTING_NAME, NM_SETTING_PPPOE_SETTING_NAME,
            NM_SETTING_GSM_SETTING_NAME, NM_SETTING_CDMA_SETTING_NAME, NM_SETTING_ADSL_SETTING_NAME }) {
        if (std::strcmp(connectionType, type) == 0)
            return true;
    }
    return false;
}

bool isDialable(NMConnection* connection)
{
    NMSettingBluetooth* bluetooth = nm_connection_get_setting_bluetooth(connection);
    return isDialable(nm_connection_get_connection_type(connection),
        bluetooth != nullptr ? nm_setting_bluetooth_get_connection_type(bluetooth) : nullptr);
}

QList<std::uint32_t> DialProgress::activeStateChanged(NMActiveConnectionState state)
{
    return advanceTo(publishedStateOf(state));
}

QList<std::uint32_t> DialProgress::deviceStateChanged(NMDeviceState state)
{
    return advanceTo(publishedStateOf(state));
}

QList<std::uint32_t> DialProgress::vpnStateChanged(NMVpnConnectionState state)
{
    return advanceTo(publishedStateOf(state));
}

std::uint32_t DialProgress::state() const
{
    return reached_ < 0 ? ras::OpenPort : Sequence[static_cast<std::size_t>(reached_)];
}

bool DialProgress::connected() const
{
    return state() == ras::Connected;
}

QList<std::uint32_t> DialProgress::advanceTo(std::uint32_t state)
{
    QList<std::uint32_t> passed;
    const auto target = std::find(Sequence.cbegin(), Sequence.cend(), state);
    if (target == Sequence.cend())
        return passed;
    const auto index = static_cast<int>(target - Sequence.cbegin());
    while (reached_ < index)
        passed.append(Sequence[static_cast<std::size_t>(++reached_)]);
    return passed;
}

std::uint32_t rasErrorOf(NMActiveConnectionStateReason reason)
{
    switch (reason) {
    case NM_ACTIVE_CONNECTION_STATE_REASON_USER_DISCONNECTED:
        return ras::UserDisconnection;
    case NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT:
    case NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_START_TIMEOUT:
        return ras::NoAnswer;
    case NM_ACTIVE_CONNECTION_STATE_REASON_NO_SECRETS:
    case NM_ACTIVE_CONNECTION_STATE_REASON_LOGIN_FAILED:
        return ras::AuthenticationFailure;
    case NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_DISCONNECTED:
    case NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_STOPPED:
    case NM_ACTIVE_CONNECTION_STATE_REASON_CONNECTION_REMOVED:
    case NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_REMOVED:
        return ras::RemoteDisconnection;
    case NM_ACTIVE_CONNECTION_STATE_REASON_IP_CONFIG_INVALID:
        return NoProtocols;
    default:
        return HardwareFailure;
    }
}

std::uint32_t rasErrorOf(NMDeviceStateReason reason)
{
    switch (reason) {
    case NM_DEVICE_STATE_REASON_MODEM_BUSY:
        return ras::LineBusy;
    case NM_DEVICE_STATE_REASON_MODEM_DIAL_TIMEOUT:
    case NM_DEVICE_STATE_REASON_MODEM_DIAL_FAILED:
    case NM_DEVICE_STATE_REASON_SUPPLICANT_TIMEOUT:
        return ras::NoAnswer;
    case NM_DEVICE_STATE_REASON_MODEM_NO_CARRIER:
    case NM_DEVICE_STATE_REASON_CARRIER:
        return ras::NoCarrier;
    case NM_DEVICE_STATE_REASON_MODEM_NO_DIAL_TONE:
        return ras::NoDialTone;
    case NM_DEVICE_STATE_REASON_NO_SECRETS:
    case NM_DEVICE_STATE_REASON_SUPPLICANT_FAILED:
    case NM_DEVICE_STATE_REASON_GSM_PIN_CHECK_FAILED:
    case NM_DEVICE_STATE_REASON_GSM_REGISTRATION_DENIED:
    case NM_DEVICE_STATE_REASON_SIM_PIN_INCORRECT:
        return ras::AuthenticationFailure;
    case NM_DEVICE_STATE_REASON_PPP_START_FAILED:
    case NM_DEVICE_STATE_REASON_PPP_DISCONNECT:
    case NM_DEVICE_STATE_REASON_PPP_FAILED:
    case NM_DEVICE_STATE_REASON_REMOVED:
    case NM_DEVICE_STATE_REASON_CONNECTION_REMOVED:
    case NM_DEVICE_STATE_REASON_MODEM_MANAGER_UNAVAILABLE:
    case NM_DEVICE_STATE_REASON_BT_FAILED:
        return ras::RemoteDisconnection;
    case NM_DEVICE_STATE_REASON_USER_REQUESTED:
        return ras::UserDisconnection;
    case NM_DEVICE_STATE_REASON_IP_CONFIG_UNAVAILABLE:
    case NM_DEVICE_STATE_REASON_IP_CONFIG_EXPIRED:
    case NM_DEVICE_STATE_REASON_DHCP_FAILED:
        return NoProtocols;
    default:
        return HardwareFailure;
    }
}

std::uint32_t rasErrorOfBreak(NMActiveConnectionStateReason reason)
{
    const auto code = rasErrorOf(reason);
    return code == HardwareFailure ? ras::RemoteDisconnection : code;
}

GQuark managerErrorDomain()
{
    return g_quark_from_static_string("nm-manager-error-quark");
}

std::uint32_t rasErrorOfActivation(const GError* error)
{
    if (error != nullptr && error->domain == managerErrorDomain()) {
        switch (error->code) {
        case NM_MANAGER_ERROR_UNKNOWN_CONNECTION:
            return ras::CannotFindPhonebookEntry;
        case NM_MANAGER_ERROR_UNKNOWN_DEVICE:
        case NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE:
            return DeviceDoesNotExist;
        default:
            break;
        }
    }
    return HardwareFailure;
}

QString reasonText(NMActiveConnectionStateReason reason)
{
    return enumText(NM_TYPE_ACTIVE_CONNECTION_STATE_REASON, reason);
}

QString reasonText(NMDeviceStateReason reason)
{
    return enumText(NM_TYPE_DEVICE_STATE_REASON, reason);
}

} // namespace vorn::nm
