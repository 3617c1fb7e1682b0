#pragma once

#include "platform/RemoteAccess.h"
#include "platform/sim/DialupProtocol.h"
#include "platform/sim/LocalSocket.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTemporaryFile;

namespace vorn::sim
{

// Client of the simulated dial-up service (tools/vorn-dialupd).
//
// The wizard calls it from its UI thread, so the calls it makes while dialing
// and connected never wait on the service: a dial or a hang-up is sent and
// answered through the event loop, the status of our dials follows from the
// service's notifications, and the connection list is the one the service
// sends whenever it changes. Only a call that is of no use without the
// service's word (the phonebook's entries, the tools' control requests, a line
// we know nothing of) waits for it, and only while the service is known to
// answer. Any request not answered within AnswerTimeoutMs fails as 711, and
// with it every request and dial in progress; the next request tries the
// service afresh, starting it when its socket is absent.
class SimRemoteAccess final : public QObject, public RemoteAccess
{
    Q_OBJECT
public:
    static constexpr int AnswerTimeoutMs = 5000;

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
    // The text of 711 says why the service could not be reached, when we know.
    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override;
    QString dialerCaptionTemplate() override;
    QString connectedWindowTitle() override;

    // Sends one request and waits for its answer (at most AnswerTimeoutMs);
    // nullopt when the service cannot be reached or stops answering.
    std::optional<Answer> call(Request request);

private:
    using Reply = std::function<void(const std::optional<Answer>&)>;
    struct Pending {
        QByteArray line;
        QDeadlineTimer deadline;
        Reply reply;
    };
    // A dial of ours, from dial() until it is hung up.
    struct Attempt {
        QPointer<QObject> receiver;
        std::uint32_t state = ras::OpenPort;
        std::uint32_t error = 0;
        QString deviceType;
        QString deviceName;
        bool finished = false; // connected or failed: no notification follows
        bool lost = false; // the service went away with it
        bool listed = false; // connected, and the service has listed it since
    };
    enum class Link { Closed, Connecting, Open };

    qint64 send(Request request, Reply reply = {});
    bool believedAnswering() const { return problem_.isEmpty(); }
    void open();
    void tryConnect();
    void connectFailed();
    void linkUp();
    void sendPending();
    bool startService();
    QString serviceStartError() const;
    void probe();
    void checkDeadlines();
    // Ends the link: pending requests get no answer, dials in progress fail with `error`.
    void fail(std::uint32_t error, const QString& problem);
    void drainIncoming();
    void readMessages();
    void takeAnswer(const Answer& answer);
    void deliver(const Notification& notification);
    void finish(Attempt& attempt, std::uint32_t state, std::uint32_t error);
    void takeConnections(const QList<LineInfo>& lines);
    const LineInfo* connectedLine(RasHandle handle) const;
    // A connection of ours that the service no longer lists: someone hung it up.
    bool hungUpElsewhere(const Attempt& attempt, RasHandle handle) const;

    QString socketPath_;
    LocalSocket socket_;
    Link link_ = Link::Closed;
    // The service speaks first: the connection list, or why it refuses us. Requests
    // wait for it, so that a refusal is never lost to a request written into a closed socket.
    bool greeted_ = false;
    bool serviceStarted_ = false; // by us, while connecting
    std::unique_ptr<QTemporaryFile> serviceErrors_; // what the service we started said
    QTimer retryTimer_; // connects again while the service we started comes up
    QTimer deadlineTimer_;
    QByteArray incoming_;
    qint64 nextId_ = 1;
    std::map<qint64, Pending> pending_;
    std::optional<QList<LineInfo>> connections_; // as the service last told us
    QElapsedTimer lastHeard_;
    QString problem_; // why the service could not be reached; empty while it answers
    QHash<RasHandle, Attempt> attempts_;
    // Bytes in and out of our connections, as the service last answered.
    QHash<RasHandle, std::pair<std::uint64_t, std::uint64_t>> traffic_;
};

} // namespace vorn::sim
