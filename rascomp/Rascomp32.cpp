#include "rascomp/Rascomp32.h"

#include <QEvent>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <span>
#include <stdexcept>

using namespace vorn;

namespace
{

constexpr int MaxEntries = 20;
constexpr int MaxConnections = 4;

struct StateInfo {
    std::uint32_t state;
    const char* text;
    TNotifyEvent TRAS::*event;
};

// Status text and event of each connection state. The device state's text is
// built from the device's name and type instead.
constexpr StateInfo stateTable[] = {
    { ras::OpenPort, "Opening Port", &TRAS::OnAboutToOpenPort },
    { ras::PortOpened, "Port Opened", &TRAS::OnPortOpened },
    { ras::ConnectDevice, "", &TRAS::OnAboutToConnDev },
    { ras::DeviceConnected, "Device is connected", &TRAS::OnDevConnected },
    { ras::AllDevicesConnected, "All Required Devices Connected", &TRAS::OnAllDevsConnected },
    { ras::Authenticate, "Validating User/Password/Domain", &TRAS::OnAuthenticate },
    { ras::AuthNotify, "Authentication Notification", &TRAS::OnAuthNotify },
    { ras::AuthRetry, "", &TRAS::OnAuthRetry },
    { ras::AuthCallback, "Authentication Call Back", &TRAS::OnAuthCallBack },
    { ras::AuthChangePassword, "", &TRAS::OnAuthChangePassword },
    { ras::AuthProject, "Project", &TRAS::OnAuthProject },
    { ras::AuthLinkSpeed, "Calculating Link speed", &TRAS::OnAuthLinkSpeed },
    { ras::AuthAck, "Authentication acknowledged", &TRAS::OnAuthAck },
    { ras::ReAuthenticate, "Reauthenticating", &TRAS::OnReAuthenticate },
    { ras::Authenticated, "Login Authenticated", &TRAS::OnAuthenticated },
    { ras::PrepareForCallback, "Preparing for Callback", &TRAS::OnPrepareforCallback },
    { ras::WaitForModemReset, "Waiting for Modem Reset", &TRAS::OnWaitForModemReset },
    { ras::WaitForCallback, "Waiting for Callback", &TRAS::OnCallBack },
    { ras::Interactive, "", &TRAS::OnInteractiveStarted },
    { ras::RetryAuthentication, "", &TRAS::OnRetryAuth },
    { ras::CallbackSetByCaller, "", nullptr },
    { ras::PasswordExpired, "", &TRAS::OnPasswordExpired },
    { ras::Connected, "", &TRAS::OnConnect },
};

const StateInfo* findState(std::uint32_t state)
{
    for (const auto& info : stateTable) {
        if (info.state == state)
            return &info;
    }
    return nullptr;
}

QByteArray toPlatformText(const QString& text)
{
    return text.toUtf8();
}

// A cleared buffer of `count` records whose first carries its size.
template <typename Record> std::vector<Record> clearedRecords(int count)
{
    std::vector<Record> records(static_cast<std::size_t>(count));
    std::memset(records.data(), 0, records.size() * sizeof(Record));
    records[0].dwSize = sizeof(Record);
    return records;
}

// The records an enumeration reported: none unless it succeeded (603 counts
// as success), and never more than the buffer holds.
template <typename Record>
std::span<const Record> reported(const std::vector<Record>& buffer, std::uint32_t result, std::uint32_t count)
{
    if (result != ras::Success && result != ras::BufferTooSmall)
        return {};
    const int records = std::clamp(static_cast<int>(count), 0, static_cast<int>(buffer.size()));
    return { buffer.data(), static_cast<std::size_t>(records) };
}

} // namespace

// The hidden receiver of dial-progress notifications. It may lose its engine
// while one of its own notifications is being handled (a handler hanging up):
// it then does nothing more and is deleted once that handling has ended.
class TRasNotifyWindow : public QObject
{
public:
    explicit TRasNotifyWindow(TRAS* engine)
        : engine_(engine)
    {
    }

    void detach() { engine_ = nullptr; }
    bool isDispatching() const { return dispatching_; }

protected:
    bool event(QEvent* event) override
    {
        if (engine_ == nullptr)
            return QObject::event(event);
        dispatching_ = true;
        const QPointer<TRasNotifyWindow> self(this);
        const bool handled = engine_->DialEventProc(event);
        if (self)
            dispatching_ = false;
        return handled || QObject::event(event);
    }

private:
    TRAS* engine_;
    bool dispatching_ = false;
};

void TConnectionList::AddConnection(const RASCONN& Connection)
{
    items_.push_back(std::make_unique<RASCONN>(Connection));
}

const RASCONN& TConnectionList::item(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    return *items_[static_cast<std::size_t>(Index)];
}

RasHandle TConnectionList::RASConn(int Index) const
{
    return item(Index).hrasconn;
}

QString TConnectionList::EntryName(int Index) const
{
    return QString::fromUtf8(fieldText(item(Index).szEntryName));
}

void TConnectionList::Delete(int Index)
{
    item(Index);
    items_.erase(items_.begin() + Index);
}

TRAS::TRAS(QObject* Owner, std::shared_ptr<RemoteAccess> Service)
    : QObject(Owner)
    , FService(std::move(Service))
    , FDialEventMessage(dialEventMessage())
{
}

TRAS::~TRAS()
{
    ReleaseConnection();
}

void TRAS::setPhoneBookPath(const QString& Value)
{
    FPhoneBookPath = Value;
    EnumEntries();
}

void TRAS::setRedialAttempts(int Value)
{
    if (Value != FRedialAttempts)
        FRedialAttempts = Value;
}

QObject* TRAS::NotifyWindow() const
{
    return FNotifyWindow;
}

int TRAS::EnumEntries()
{
    FEntries.clear();
    // Cleared first: with 603 the platform may count records it never wrote,
    // and those then read as empty names, which are skipped.
    auto buffer = clearedRecords<RASENTRYNAME>(MaxEntries);
    std::uint32_t bytes = MaxEntries * sizeof(RASENTRYNAME);
    std::uint32_t count = 0;
    const QByteArray phonebook = toPlatformText(FPhoneBookPath);
    const auto result = FService->enumEntries(
        FPhoneBookPath.isEmpty() ? nullptr : phonebook.constData(), buffer.data(), &bytes, &count);
    FLastError = static_cast<int>(result);
    for (const auto& record : reported(buffer, result, count)) {
        const QByteArray name = fieldText(record.szEntryName);
        if (!name.isEmpty())
            FEntries.append(QString::fromUtf8(name));
    }
    return FLastError;
}

int TRAS::EnumConnections()
{
    FConnections.Clear();
    // Cleared first: a record the platform did not write keeps handle 0 and
    // is never taken for a connection.
    auto buffer = clearedRecords<RASCONN>(MaxConnections);
    std::uint32_t bytes = MaxConnections * sizeof(RASCONN);
    std::uint32_t count = 0;
    const auto result = FService->enumConnections(buffer.data(), &bytes, &count);
    FLastError = static_cast<int>(result);
    for (const auto& record : reported(buffer, result, count)) {
        if (record.hrasconn != 0)
            FConnections.AddConnection(record);
    }
    return FLastError;
}

int TRAS::Dial()
{
    if (FConnectionHandle != 0)
        ReleaseConnection();
    if (FNotifyWindow == nullptr)
        FNotifyWindow = new TRasNotifyWindow(this);

    RASDIALPARAMS params;
    std::memset(&params, 0, sizeof params);
    params.dwSize = sizeof(RASDIALPARAMS);
    FConnectionHandle = 0;
    // Each field is cut to its published size, leaving room for the NUL.
    copyToField(params.szEntryName, toPlatformText(EntryName));
    copyToField(params.szPhoneNumber, toPlatformText(PhoneNumber));
    copyToField(params.szCallbackNumber, toPlatformText(CallbackNumber));
    copyToField(params.szUserName, toPlatformText(UserName));
    copyToField(params.szPassword, toPlatformText(Password));
    copyToField(params.szDomain, toPlatformText(Domain));

    const QByteArray phonebook = toPlatformText(FPhoneBookPath);
    const auto result = FService->dial(
        FPhoneBookPath.isEmpty() ? nullptr : phonebook.constData(), params, FNotifyWindow, &FConnectionHandle);
    FLastError = static_cast<int>(result);
    return FLastError;
}

int TRAS::ReleaseConnection()
{
    std::uint32_t result = ras::Success;
    if (FConnectionHandle != 0)
        result = FService->hangUp(FConnectionHandle);
    FConnectionHandle = 0;
    DestroyNotifyWindow();
    FLastError = static_cast<int>(result);
    return FLastError;
}

int TRAS::HangUp()
{
    const int result = ReleaseConnection();
    RaiseDisconnect();
    return result;
}

void TRAS::DestroyNotifyWindow()
{
    if (FNotifyWindow == nullptr)
        return;
    // A window whose own notification is being handled is only cut loose
    // here; deleting it under its running handler would pull the ground away.
    FNotifyWindow->detach();
    if (FNotifyWindow->isDispatching())
        FNotifyWindow->deleteLater();
    else
        delete FNotifyWindow;
    FNotifyWindow = nullptr;
}

bool TRAS::DialEventProc(QEvent* Event)
{
    const auto* notification = dynamic_cast<RasDialEvent*>(Event);
    if (Event->type() != FDialEventMessage || notification == nullptr || FConnectionHandle == 0)
        return false;

    const QPointer<TRAS> self(this);
    if (notification->error != 0) {
        FLastError = static_cast<int>(notification->error);
    } else {
        FConnState = static_cast<quint16>(notification->state & 0xFFFF);
        RaiseStateEvent(FConnState);
    }
    // A handler may have hung up, or even destroyed the engine.
    if (self && FConnectionHandle != 0)
        QueryStatus();
    return true;
}

void TRAS::RaiseStateEvent(quint16 State)
{
    if (State == ras::Disconnected) {
        RaiseDisconnect();
        return;
    }
    const StateInfo* info = findState(State);
    if (info == nullptr || info->event == nullptr)
        return;
    const TNotifyEvent& handler = this->*(info->event);
    if (handler && FConnectionHandle != 0)
        handler(this);
}

void TRAS::RaiseDisconnect()
{
    if (!OnDisconnect)
        return;
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwSize = sizeof(RASCONNSTATUS);
    const int error = static_cast<int>(FService->connectStatus(FConnectionHandle, &status));
    OnDisconnect(this, error, GetErrorString(error));
}

int TRAS::QueryStatus()
{
    if (FConnectionHandle == 0)
        return 0;
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwSize = sizeof(RASCONNSTATUS);
    if (FService->connectStatus(FConnectionHandle, &status) == ras::Success) {
        DeviceName = QString::fromUtf8(fieldText(status.szDeviceName));
        DeviceType = QString::fromUtf8(fieldText(status.szDeviceType));
        FConnState = static_cast<quint16>(status.rasconnstate & 0xFFFF);
    }
    FLastError = static_cast<int>(status.dwError);
    return FLastError;
}

QString TRAS::StatusText()
{
    if (FConnectionHandle == 0)
        return QStringLiteral("Not Active");
    QueryStatus();
    if (FLastError >= 600)
        return GetErrorString(FLastError);
    if (FLastError == static_cast<int>(ras::InvalidHandle))
        return QStringLiteral("Invalid Handle");
    if (FLastError == static_cast<int>(ras::NotEnoughMemory))
        return QStringLiteral("Not enough memory");
    if (FLastError != 0)
        return QString();
    if (FConnState == ras::ConnectDevice)
        return QStringLiteral("Using Device: ") + DeviceName + QStringLiteral(" - ") + DeviceType;
    const StateInfo* info = findState(FConnState);
    return info == nullptr ? QString() : QString::fromLatin1(info->text);
}

QString TRAS::GetErrorString(int Code)
{
    if (FConnectionHandle == 0)
        return QString();
    char buffer[ras::MaxError + 1];
    std::memset(buffer, 0, sizeof buffer);
    FService->errorString(static_cast<std::uint32_t>(Code), buffer, ras::MaxError);
    if (buffer[0] == '\0')
        return QStringLiteral("Status Unknown");
    return QString::fromUtf8(fieldText(buffer));
}

bool TRAS::Traffic(qint64& BytesIn, qint64& BytesOut)
{
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    if (FConnectionHandle == 0 || FService->connectionTraffic(FConnectionHandle, &in, &out) != vorn::ras::Success)
        return false;
    BytesIn = qint64(in);
    BytesOut = qint64(out);
    return true;
}
