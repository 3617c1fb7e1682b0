#pragma once

#include "platform/Platform.h"
#include "platform/RemoteAccess.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TRasNotifyWindow;

// Event types of the dial-up engine: a handler bound to its receiver, or nothing.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TRasStateEvent = std::function<void(QObject* Sender, int Error, const QString& ErrorString)>;

// The active connections as the platform reported them: copies of its
// connection records, owned by the list.
class TConnectionList
{
public:
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }

    void AddConnection(const vorn::RASCONN& Connection);
    vorn::RasHandle RASConn(int Index) const;
    QString EntryName(int Index) const;
    void Delete(int Index);

private:
    // Throws std::out_of_range for an index outside 0 ... Count() - 1.
    const vorn::RASCONN& item(int Index) const;

    std::vector<std::unique_ptr<vorn::RASCONN>> items_;
};

// The dial-up engine: lists phonebook entries and active connections, dials
// one entry asynchronously, turns each progress notification into one event
// and a status text, gives error texts and hangs up. It raises no exceptions:
// every failure is a platform result code, kept in LastError().
class TRAS : public QObject
{
    Q_OBJECT
public:
    explicit TRAS(
        QObject* Owner = nullptr, std::shared_ptr<vorn::RemoteAccess> Service = vorn::platform::remoteAccess());
    ~TRAS() override;

    // Dial parameters, handed to the platform as they are (cut to its field sizes).
    QString EntryName;
    QString PhoneNumber;
    QString CallbackNumber;
    QString UserName;
    QString Password;
    QString Domain;
    // The device in use, as the last status query reported it.
    QString DeviceType;
    QString DeviceName;

    QString PhoneBookPath() const { return FPhoneBookPath; }
    // Stores the path and enumerates its entries at once, even when unchanged.
    void setPhoneBookPath(const QString& Value);

    // Kept for the form; no operation reads it.
    int RedialAttempts() const { return FRedialAttempts; }
    void setRedialAttempts(int Value);

    TNotifyEvent OnCallBack;
    TNotifyEvent OnConnect;
    TNotifyEvent OnAboutToOpenPort;
    TNotifyEvent OnPortOpened;
    TNotifyEvent OnAboutToConnDev;
    TNotifyEvent OnDevConnected;
    TNotifyEvent OnAllDevsConnected;
    TNotifyEvent OnAuthenticate;
    TNotifyEvent OnAuthNotify;
    TNotifyEvent OnAuthRetry;
    TNotifyEvent OnAuthCallBack;
    TNotifyEvent OnAuthChangePassword;
    TNotifyEvent OnAuthProject;
    TNotifyEvent OnAuthLinkSpeed;
    TNotifyEvent OnAuthAck;
    TNotifyEvent OnReAuthenticate;
    TNotifyEvent OnAuthenticated;
    TNotifyEvent OnPrepareforCallback;
    TNotifyEvent OnWaitForModemReset;
    TNotifyEvent OnInteractiveStarted;
    TNotifyEvent OnRetryAuth;
    TNotifyEvent OnPasswordExpired;
    TRasStateEvent OnDisconnect;

    // Refills Entries() (20 names at most); 603 counts as success.
    int EnumEntries();
    // Refills Connections() (4 records at most); 603 counts as success.
    int EnumConnections();

    // Starts dialing EntryName; 0 means dialing has started and progress follows as events.
    int Dial();
    // Hangs up what is held (0 when nothing is) and raises OnDisconnect.
    int HangUp();
    // As HangUp, without any event.
    int ReleaseConnection();
    // The connection's own error code; 0 while all is well (and when nothing is held).
    int QueryStatus();
    QString StatusText();
    // Bytes received and sent on the held connection so far; false (both
    // left alone) where the backend does not count them.
    bool Traffic(qint64& BytesIn, qint64& BytesOut);
    QString GetErrorString(int Code);

    const QStringList& Entries() const { return FEntries; }
    const TConnectionList& Connections() const { return FConnections; }
    int LastError() const { return FLastError; }
    vorn::RasHandle ConnectionHandle() const { return FConnectionHandle; }
    quint16 ConnState() const { return FConnState; }
    quint16 DialEventMessage() const { return FDialEventMessage; }
    // The receiver of dial-progress notifications; exists from Dial until the engine is idle again.
    QObject* NotifyWindow() const;

private:
    friend class TRasNotifyWindow;

    // Handles a notification that reached NotifyWindow(); false passes it on
    // to the default handling.
    bool DialEventProc(QEvent* Event);
    void RaiseStateEvent(quint16 State);
    void RaiseDisconnect();
    void DestroyNotifyWindow();

    std::shared_ptr<vorn::RemoteAccess> FService;
    QString FPhoneBookPath;
    int FRedialAttempts = 1;
    TRasNotifyWindow* FNotifyWindow = nullptr;
    quint16 FDialEventMessage = 0;
    QStringList FEntries;
    TConnectionList FConnections;
    int FLastError = 0;
    vorn::RasHandle FConnectionHandle = 0;
    quint16 FConnState = 0;
};
