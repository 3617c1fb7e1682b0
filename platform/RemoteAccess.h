#pragma once

#include <QByteArray>
#include <QEvent>
#include <QString>

#include <cstdint>

class QObject;

// The remote-access (dial-up) service: phonebook entries, active connections,
// asynchronous dialing with progress notifications, hang-up and status.
// Records keep the published layout and sizes, so callers see the same
// buffers, counts and result codes whichever backend sits underneath.
namespace vorn
{

using RasHandle = std::uint32_t;

namespace ras
{
constexpr std::uint32_t Success = 0;
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t NotEnoughMemory = 8;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t Pending = 600;
constexpr std::uint32_t BufferTooSmall = 603;
constexpr std::uint32_t CannotOpenPhonebook = 621;
constexpr std::uint32_t CannotFindPhonebookEntry = 623;
constexpr std::uint32_t PortDisconnected = 628;
constexpr std::uint32_t RemoteDisconnection = 629;
constexpr std::uint32_t UserDisconnection = 631;
constexpr std::uint32_t LineBusy = 676;
constexpr std::uint32_t NoAnswer = 678;
constexpr std::uint32_t NoCarrier = 679;
constexpr std::uint32_t NoDialTone = 680;
constexpr std::uint32_t AuthenticationFailure = 691;
constexpr std::uint32_t ServiceUnavailable = 711;

// Published connection states (RASCONNSTATE).
enum ConnState : std::uint32_t {
    OpenPort = 0,
    PortOpened = 1,
    ConnectDevice = 2,
    DeviceConnected = 3,
    AllDevicesConnected = 4,
    Authenticate = 5,
    AuthNotify = 6,
    AuthRetry = 7,
    AuthCallback = 8,
    AuthChangePassword = 9,
    AuthProject = 10,
    AuthLinkSpeed = 11,
    AuthAck = 12,
    ReAuthenticate = 13,
    Authenticated = 14,
    PrepareForCallback = 15,
    WaitForModemReset = 16,
    WaitForCallback = 17,
    Interactive = 0x1000,
    RetryAuthentication = 0x1001,
    CallbackSetByCaller = 0x1002,
    PasswordExpired = 0x1003,
    Connected = 0x2000,
    Disconnected = 0x2001,
};

constexpr int MaxEntryName = 256;
constexpr int MaxDeviceType = 16;
constexpr int MaxDeviceName = 128;
constexpr int MaxPhoneNumber = 128;
constexpr int MaxCallbackNumber = 128;
constexpr int MaxUserName = 256;
constexpr int MaxPassword = 256;
constexpr int MaxDomain = 15;
constexpr int MaxError = 256;
} // namespace ras

struct RASENTRYNAME {
    std::uint32_t dwSize;
    char szEntryName[ras::MaxEntryName + 1];
};

struct RASCONN {
    std::uint32_t dwSize;
    RasHandle hrasconn;
    char szEntryName[ras::MaxEntryName + 1];
    char szDeviceType[ras::MaxDeviceType + 1];
    char szDeviceName[ras::MaxDeviceName + 1];
};

struct RASCONNSTATUS {
    std::uint32_t dwSize;
    std::uint32_t rasconnstate;
    std::uint32_t dwError;
    char szDeviceType[ras::MaxDeviceType + 1];
    char szDeviceName[ras::MaxDeviceName + 1];
};

struct RASDIALPARAMS {
    std::uint32_t dwSize;
    char szEntryName[ras::MaxEntryName + 1];
    char szPhoneNumber[ras::MaxPhoneNumber + 1];
    char szCallbackNumber[ras::MaxCallbackNumber + 1];
    char szUserName[ras::MaxUserName + 1];
    char szPassword[ras::MaxPassword + 1];
    char szDomain[ras::MaxDomain + 1];
};

static_assert(sizeof(RASENTRYNAME) == 264);
static_assert(sizeof(RASCONN) == 412);
static_assert(sizeof(RASCONNSTATUS) == 160);
static_assert(sizeof(RASDIALPARAMS) == 1052);

// Copies `text` into a fixed field of `fieldSize` bytes: cut to fit with its
// terminating NUL, never in the middle of a UTF-8 sequence.
void copyToField(char* field, std::size_t fieldSize, const QByteArray& text);
template <std::size_t N> void copyToField(char (&field)[N], const QByteArray& text)
{
    copyToField(field, N, text);
}
// The text of a fixed field up to its NUL (or its end when there is none).
template <std::size_t N> QByteArray fieldText(const char (&field)[N])
{
    return QByteArray(field, static_cast<qsizetype>(qstrnlen(field, N)));
}

// Number of a named notification message, the same for every caller of the
// process; 0 when no number is left.
std::uint32_t registerWindowMessage(const char* name);

// The number dial-progress notifications are posted under ("RASDialEvent",
// or the published fallback 0xCCCD when registration fails).
std::uint16_t dialEventMessage();

// One dial-progress notification: the new connection state and an error code
// (0 when the step succeeded). Posted to the receiver named when dialing.
class RasDialEvent : public QEvent
{
public:
    RasDialEvent(std::uint16_t message, std::uint32_t newState, std::uint32_t errorCode)
        : QEvent(static_cast<QEvent::Type>(message))
        , state(newState)
        , error(errorCode)
    {
    }
    const std::uint32_t state;
    const std::uint32_t error;
};

// Our own text for a published remote-access error code; empty when there is none.
QString rasErrorText(std::uint32_t code);

class RemoteAccess
{
public:
    virtual ~RemoteAccess() = default;

    // Fills `entries` (capacity *bufferBytes bytes) with the phonebook's entry
    // names; `phonebook` null or empty means the default phonebook. Sets
    // *count to the number of entries there are and, when they do not all
    // fit, *bufferBytes to the size needed and answers 603.
    virtual std::uint32_t enumEntries(
        const char* phonebook, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count)
        = 0;

    // The same for the active connections.
    virtual std::uint32_t enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count) = 0;

    // Starts dialing and returns at once; *handle receives the new
    // connection's handle. Progress is posted to `receiver` as RasDialEvent
    // until the attempt connects or fails, or the handle is hung up.
    virtual std::uint32_t dial(const char* phonebook, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle)
        = 0;

    virtual std::uint32_t hangUp(RasHandle handle) = 0;

    // Status of a connection; handle 0 or an unknown handle answers 6.
    virtual std::uint32_t connectStatus(RasHandle handle, RASCONNSTATUS* status) = 0;

    // Bytes received and sent so far on a connection, where the backend
    // counts them; otherwise 87 and both left alone. An extra beside the
    // published calls, whose records keep their sizes.
    virtual std::uint32_t connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut)
    {
        Q_UNUSED(handle);
        Q_UNUSED(bytesIn);
        Q_UNUSED(bytesOut);
        return ras::InvalidParameter;
    }

    // Text of an error code into `buffer` (NUL-terminated, at most `size`
    // bytes with the NUL); the buffer stays untouched when there is no text.
    virtual std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) = 0;

    // The dial-up application's caption template for its status window, with
    // one %s for the entry name; empty when it has none.
    virtual QString dialerCaptionTemplate() = 0;

    // Title of the window the dial-up application shows when a connection is made.
    virtual QString connectedWindowTitle() = 0;
};

} // namespace vorn
