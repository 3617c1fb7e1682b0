#pragma once

#include "platform/RemoteAccess.h"
#include "platform/sim/DialupProtocol.h"

#include <QHash>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>

#include <optional>

namespace vorn::sim
{

// Client of the simulated dial-up service (tools/vorn-dialupd). Requests are
// answered synchronously over the service's socket; dial progress arrives on
// the same socket through the event loop and is posted to the receiver named
// by dial(). The service is started on demand when its socket is absent.
class SimRemoteAccess final : public QObject, public RemoteAccess
{
    Q_OBJECT
public:
    explicit SimRemoteAccess(QString socketPath = sim::socketPath());
    ~SimRemoteAccess() override;

    std::uint32_t enumEntries(
        const char* phonebook, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count) override;
    std::uint32_t enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count) override;
    std::uint32_t dial(
        const char* phonebook, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle) override;
    std::uint32_t hangUp(RasHandle handle) override;
    std::uint32_t connectStatus(RasHandle handle, RASCONNSTATUS* status) override;
    std::uint32_t connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut) override;
    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override;
    QString dialerCaptionTemplate() override;
    QString connectedWindowTitle() override;

    // Sends one request and waits for its answer; nullopt when the service
    // cannot be reached or stops answering.
    std::optional<Answer> call(Request request);

private:
    // A dial of ours still in progress: where its notifications go.
    // While it runs, its status follows from the notifications alone, once
    // a first status query has told the device: polling costs no round trip.
    struct Attempt {
        QPointer<QObject> receiver;
        std::uint32_t lastState = 0;
        bool deviceKnown = false;
        QString deviceType;
        QString deviceName;
    };

    // Asks for a list and writes it into the caller's fixed-size records.
    template <typename Record, typename Item, typename Fill>
    std::uint32_t enumerate(const Request& request, Record* records, std::uint32_t* bufferBytes, std::uint32_t* count,
        QList<Item> Answer::*items, Fill fill);

    bool ensureConnected();
    bool connectOnce(int timeoutMs);
    bool startService();
    void readMessages();
    void takeAnswer(const Answer& answer);
    void deliver(const Notification& notification);
    void serviceLost();

    QString socketPath_;
    QLocalSocket socket_;
    QByteArray pending_;
    qint64 nextId_ = 1;
    qint64 awaitedId_ = 0; // the request call() waits on, 0 when none
    std::optional<Answer> answer_;
    QHash<RasHandle, Attempt> attempts_;
    // Our attempts that were cut off when the service went away, with their last state.
    QHash<RasHandle, std::uint32_t> lost_;
};

} // namespace vorn::sim
