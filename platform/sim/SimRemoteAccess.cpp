#include "platform/sim/SimRemoteAccess.h"

#include "platform/Paths.h"
#include "platform/sim/SimDialer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QThread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace vorn::sim
{

namespace
{

constexpr int RetryConnectMs = 20;
constexpr int DeadlineCheckMs = 100;
// While only the connection list is read, a request now and then shows the service still answers.
constexpr int ProbeAfterMs = 1000;

// The phonebook as the service needs it: absolute, since its folder is not ours.
QString phonebookPath(const char* phonebook)
{
    if (phonebook == nullptr || phonebook[0] == '\0')
        return QString();
    return QFileInfo(QString::fromUtf8(phonebook)).absoluteFilePath();
}

void post(QObject* receiver, std::uint32_t state, std::uint32_t error)
{
    if (receiver != nullptr)
        QCoreApplication::postEvent(receiver, new RasDialEvent(dialEventMessage(), state, error));
}

bool validBuffer(const void* records, const std::uint32_t* bufferBytes, const std::uint32_t* count)
{
    return bufferBytes != nullptr && count != nullptr && (records != nullptr || *bufferBytes == 0);
}

// Writes as many records as fit; the count says how many there are.
template <typename Record, typename Item, typename Fill>
std::uint32_t fillRecords(
    const QList<Item>& all, Record* records, std::uint32_t* bufferBytes, std::uint32_t* count, Fill fill)
{
    const auto capacity = *bufferBytes / sizeof(Record);
    const auto total = static_cast<std::size_t>(all.size());
    for (std::size_t i = 0; i < std::min(capacity, total); ++i) {
        records[i].dwSize = sizeof(Record);
        fill(records[i], all[static_cast<qsizetype>(i)]);
    }
    *count = static_cast<std::uint32_t>(total);
    if (total > capacity) {
        *bufferBytes = static_cast<std::uint32_t>(total * sizeof(Record));
        return ras::BufferTooSmall;
    }
    return ras::Success;
}

void fillConnection(RASCONN& record, const LineInfo& line)
{
    record.hrasconn = line.handle;
    copyToField(record.szEntryName, line.entry.toUtf8());
    copyToField(record.szDeviceType, line.deviceType.toUtf8());
    copyToField(record.szDeviceName, line.deviceName.toUtf8());
}

std::uint32_t fillStatus(RASCONNSTATUS* status, std::uint32_t state, std::uint32_t error, const QString& deviceType,
    const QString& deviceName)
{
    status->rasconnstate = state;
    status->dwError = error;
    copyToField(status->szDeviceType, deviceType.toUtf8());
    copyToField(status->szDeviceName, deviceName.toUtf8());
    return ras::Success;
}

} // namespace

SimRemoteAccess::SimRemoteAccess(QString socketPath)
    : socketPath_(std::move(socketPath))
{
    connect(&socket_, &LocalSocket::disconnected, this, [this] {
        readMessages(); // its last words may say why
        if (link_ == Link::Open)
            fail(ras::PortDisconnected, QStringLiteral("the dial-up service went away"));
    });
    connect(&socket_, &LocalSocket::readyRead, this, &SimRemoteAccess::readMessages);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &SimRemoteAccess::tryConnect);
    deadlineTimer_.setInterval(DeadlineCheckMs);
    connect(&deadlineTimer_, &QTimer::timeout, this, &SimRemoteAccess::checkDeadlines);
}

SimRemoteAccess::~SimRemoteAccess()
{
    socket_.disconnect(this);
    // Hang-ups just sent still reach the service.
    if (link_ == Link::Open)
        socket_.flush();
    socket_.abort();
}

qint64 SimRemoteAccess::send(Request request, Reply reply)
{
    request.id = nextId_++;
    Pending& pending = pending_[request.id];
    pending.line = encodeRequest(request);
    pending.deadline = QDeadlineTimer(AnswerTimeoutMs);
    pending.reply = std::move(reply);
    if (!deadlineTimer_.isActive())
        deadlineTimer_.start();
    if (link_ != Link::Open) {
        open();
    } else if (greeted_) {
        socket_.write(pending.line);
    }
    return request.id;
}

void SimRemoteAccess::open()
{
    if (link_ != Link::Closed)
        return;
    link_ = Link::Connecting;
    serviceStarted_ = false;
    tryConnect();
}

void SimRemoteAccess::tryConnect()
{
    if (link_ != Link::Connecting)
        return;
    // A socket in folders another user could have made may be anyone's.
    struct stat info {
    };
    if (lstat(QFile::encodeName(socketPath_).constData(), &info) == 0) {
        if (const QString problem = socketFolderProblem(socketPath_); !problem.isEmpty()) {
            fail(ras::ServiceUnavailable, problem);
            return;
        }
    }
    incoming_.clear();
    switch (socket_.connectToServer(socketPath_)) {
    case LocalSocket::Connect::Connected:
        linkUp();
        break;
    case LocalSocket::Connect::Refused:
        connectFailed();
        break;
    case LocalSocket::Connect::Busy:
        retryTimer_.start(RetryConnectMs); // the service's backlog is full: look again
        break;
    }
}

void SimRemoteAccess::connectFailed()
{
    if (!serviceStarted_) {
        serviceStarted_ = true;
        if (!startService()) {
            fail(ras::ServiceUnavailable,
                QStringLiteral("%1 cannot be started").arg(paths::siblingProgram(serviceProgram())));
            return;
        }
    } else if (const QString error = serviceStartError(); !error.isEmpty()) {
        fail(ras::ServiceUnavailable, error);
        return;
    }
    // The service makes its socket within moments; requests keep their deadlines meanwhile.
    retryTimer_.start(RetryConnectMs);
}

bool SimRemoteAccess::startService()
{
    // Its errors go to a file of ours, so that we can tell why it did not start.
    serviceErrors_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vorn-dialupd-XXXXXX.log"));
    if (!serviceErrors_->open())
        serviceErrors_.reset();
    // Detached, holding on to none of our files: a test runner waiting for
    // our output to end must not wait for the service as well.
    QProcess service;
    service.setProgram(paths::siblingProgram(serviceProgram()));
    service.setArguments({ QStringLiteral("--socket"), socketPath_ });
    service.setWorkingDirectory(QDir::rootPath());
    service.setStandardInputFile(QProcess::nullDevice());
    service.setStandardOutputFile(QProcess::nullDevice());
    service.setStandardErrorFile(serviceErrors_ ? serviceErrors_->fileName() : QProcess::nullDevice());
    return service.startDetached();
}

QString SimRemoteAccess::serviceStartError() const
{
    if (!serviceErrors_)
        return QString();
    QFile file(serviceErrors_->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Its own complaint, a whole line; anything else it printed is not the reason.
    static const QByteArray prefix = serviceProgram().toUtf8() + ": ";
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return QString::fromUtf8(line.mid(prefix.size()));
    }
    return QString();
}

void SimRemoteAccess::linkUp()
{
    if (link_ != Link::Connecting)
        return;
    // Whoever listens at the path gets nothing from us unless it runs as us.
    ucred peer {};
    socklen_t length = sizeof peer;
    const int fd = socket_.descriptor();
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
        fail(ras::ServiceUnavailable,
            QStringLiteral("the dial-up service at %1 is run by another user (%2); refused")
                .arg(socketPath_)
                .arg(peer.uid));
        return;
    }
    link_ = Link::Open;
    greeted_ = false;
    serviceErrors_.reset();
}

void SimRemoteAccess::sendPending()
{
    greeted_ = true;
    if (!socket_.isConnected())
        return; // its last words are being read
    for (const auto& [id, pending] : pending_)
        socket_.write(pending.line);
}

void SimRemoteAccess::probe()
{
    Request request;
    request.op = Op::Connections;
    send(request);
}

void SimRemoteAccess::checkDeadlines()
{
    if (pending_.empty()) {
        // A dial in progress waits on the service too: make sure it still answers.
        const bool dialing = std::any_of(
            attempts_.cbegin(), attempts_.cend(), [](const Attempt& attempt) { return !attempt.finished; });
        if (!dialing)
            deadlineTimer_.stop();
        else if (link_ == Link::Open && lastHeard_.hasExpired(ProbeAfterMs))
            probe();
        return;
    }
    // Requests are answered in order: the first is the oldest.
    if (pending_.begin()->second.deadline.hasExpired())
        fail(ras::ServiceUnavailable,
            QStringLiteral("the dial-up service did not answer within %1 seconds").arg(AnswerTimeoutMs / 1000));
}

void SimRemoteAccess::fail(std::uint32_t error, const QString& problem)
{
    problem_ = problem;
    link_ = Link::Closed;
    retryTimer_.stop();
    socket_.abort();
    serviceErrors_.reset();
    connections_.reset();
    incoming_.clear();
    auto pending = std::exchange(pending_, {});
    for (auto& [id, request] : pending) {
        if (request.reply)
            request.reply(std::nullopt);
    }
    for (auto& attempt : attempts_) {
        if (!attempt.finished) {
            finish(attempt, attempt.state, error);
        } else if (error == ras::PortDisconnected) {
            attempt.error = error; // a connection goes with the service
        }
        attempt.lost = error == ras::PortDisconnected;
    }
}

void SimRemoteAccess::finish(Attempt& attempt, std::uint32_t state, std::uint32_t error)
{
    attempt.state = state;
    attempt.error = error;
    attempt.finished = error != 0 || state == ras::Connected;
    post(attempt.receiver, state, error);
}

void SimRemoteAccess::drainIncoming()
{
    // What has arrived is taken in first, without waiting for more.
    if (link_ == Link::Open)
        socket_.waitForReadyRead(0);
}

void SimRemoteAccess::readMessages()
{
    if (socket_.bytesAvailable() > 0)
        incoming_ += socket_.readAll();
    qsizetype newline;
    while (link_ == Link::Open && (newline = incoming_.indexOf('\n')) >= 0) {
        const QByteArray line = incoming_.left(newline);
        incoming_.remove(0, newline + 1);
        problem_.clear();
        lastHeard_.start();
        const auto message = parseServiceMessage(line);
        if (const auto* notification = std::get_if<Notification>(&message))
            deliver(*notification);
        else if (const auto* update = std::get_if<ConnectionsUpdate>(&message))
            takeConnections(update->lines);
        else if (const auto* answer = std::get_if<Answer>(&message))
            takeAnswer(*answer);
        else
            qWarning("dial-up service: %s", qPrintable(std::get<ParseError>(message).message));
        if (link_ == Link::Open && !greeted_)
            sendPending();
    }
    if (incoming_.size() > MaxServiceMessageBytes)
        fail(ras::ServiceUnavailable, QStringLiteral("the dial-up service sent a message too long"));
}

void SimRemoteAccess::takeAnswer(const Answer& answer)
{
    if (answer.id == 0 && answer.message.startsWith(QLatin1StringView("refused"))) {
        fail(ras::ServiceUnavailable, QStringLiteral("the dial-up service %1").arg(answer.message));
        return;
    }
    // Answers come in the order of the requests; one the service could not
    // read comes with id 0.
    const auto found = answer.id == 0 ? pending_.begin() : pending_.find(answer.id);
    if (found == pending_.end())
        return;
    const Reply reply = std::move(found->second.reply);
    pending_.erase(found);
    if (reply)
        reply(answer);
}

void SimRemoteAccess::deliver(const Notification& notification)
{
    const auto found = attempts_.find(notification.handle);
    if (found != attempts_.end() && !found->finished)
        finish(*found, notification.state, notification.error);
}

std::optional<Answer> SimRemoteAccess::call(Request request)
{
    // A service that did not answer last time is not waited for again; the
    // request still goes out, and its answer shows the service is back.
    const bool wait = believedAnswering();
    std::optional<Answer> result;
    bool answered = false;
    const qint64 id = send(std::move(request), [&result, &answered](const std::optional<Answer>& answer) {
        result = answer;
        answered = true;
    });
    while (wait && !answered) {
        checkDeadlines();
        if (answered)
            break;
        if (link_ == Link::Open) {
            socket_.waitForReadyRead(DeadlineCheckMs);
        } else {
            // Waiting for the service we started; no event loop runs here.
            QThread::msleep(RetryConnectMs);
            retryTimer_.stop();
            tryConnect();
        }
    }
    // The reply of a request given up on must not write into this frame.
    if (const auto found = pending_.find(id); found != pending_.end())
        found->second.reply = nullptr;
    return result;
}

void SimRemoteAccess::takeConnections(const QList<LineInfo>& lines)
{
    connections_ = lines;
    for (auto it = attempts_.begin(); it != attempts_.end(); ++it) {
        if (it->state == ras::Connected && connectedLine(it.key()) != nullptr)
            it->listed = true;
    }
}

bool SimRemoteAccess::hungUpElsewhere(const Attempt& attempt, RasHandle handle) const
{
    return attempt.listed && !attempt.lost && connections_ && connectedLine(handle) == nullptr;
}

const LineInfo* SimRemoteAccess::connectedLine(RasHandle handle) const
{
    if (!connections_)
        return nullptr;
    for (const auto& line : *connections_) {
        if (line.handle == handle)
            return &line;
    }
    return nullptr;
}

std::uint32_t SimRemoteAccess::enumEntries(
    const char* phonebook, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    if (!validBuffer(entries, bufferBytes, count))
        return ras::InvalidParameter;
    Request request;
    request.op = Op::Entries;
    request.phonebook = phonebookPath(phonebook);
    const auto answer = call(request);
    *count = 0;
    if (!answer)
        return ras::ServiceUnavailable;
    if (answer->result != ras::Success)
        return answer->result;
    return fillRecords(answer->entries, entries, bufferBytes, count,
        [](RASENTRYNAME& record, const QString& name) { copyToField(record.szEntryName, name.toUtf8()); });
}

std::uint32_t SimRemoteAccess::enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    if (!validBuffer(connections, bufferBytes, count))
        return ras::InvalidParameter;
    *count = 0;
    drainIncoming();
    if (!connections_) {
        // Not told yet (the service tells each client as it connects): ask.
        Request request;
        request.op = Op::Connections;
        const auto answer = call(request);
        if (!answer)
            return ras::ServiceUnavailable;
        if (answer->result != ras::Success)
            return answer->result;
        return fillRecords(answer->lines, connections, bufferBytes, count, fillConnection);
    }
    if (pending_.empty() && lastHeard_.hasExpired(ProbeAfterMs))
        probe();
    QList<LineInfo> active;
    for (const auto& line : std::as_const(*connections_)) {
        if (line.state == ras::Connected)
            active.append(line);
    }
    return fillRecords(active, connections, bufferBytes, count, fillConnection);
}

std::uint32_t SimRemoteAccess::dial(
    const char* phonebook, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle)
{
    if (handle == nullptr || params.dwSize != sizeof(RASDIALPARAMS))
        return ras::InvalidParameter;
    Request request;
    request.op = Op::Dial;
    request.phonebook = phonebookPath(phonebook);
    request.entry = QString::fromUtf8(fieldText(params.szEntryName));
    request.phoneNumber = QString::fromUtf8(fieldText(params.szPhoneNumber));
    request.callbackNumber = QString::fromUtf8(fieldText(params.szCallbackNumber));
    request.userName = QString::fromUtf8(fieldText(params.szUserName));
    request.password = QString::fromUtf8(fieldText(params.szPassword));
    request.domain = QString::fromUtf8(fieldText(params.szDomain));
    if (request.entry.isEmpty())
        return ras::CannotFindPhonebookEntry;

    // We choose the handle, so the dial can start without waiting for the
    // service; its refusals (no such entry or phonebook) come as notifications.
    do
        request.handle = QRandomGenerator::global()->bounded(1U, 0x7FFFFFFFU);
    while (attempts_.contains(request.handle) || connectedLine(request.handle) != nullptr);
    Attempt& attempt = attempts_[request.handle];
    attempt.receiver = receiver;
    *handle = request.handle;
    send(request, [this, dialed = request.handle](const std::optional<Answer>& answer) {
        const auto found = attempts_.find(dialed);
        if (!answer || found == attempts_.end() || found->finished)
            return;
        if (answer->result != ras::Success) {
            finish(*found, found->state, answer->result);
            return;
        }
        found->deviceType = answer->status.deviceType;
        found->deviceName = answer->status.deviceName;
    });
    return ras::Success;
}

std::uint32_t SimRemoteAccess::hangUp(RasHandle handle)
{
    if (handle == 0)
        return ras::InvalidHandle;
    traffic_.remove(handle);
    drainIncoming();
    const bool listed = connectedLine(handle) != nullptr;
    if (const auto found = attempts_.constFind(handle); found != attempts_.cend()) {
        const bool lost = found->lost;
        const bool elsewhere = hungUpElsewhere(*found, handle);
        attempts_.erase(found);
        if (lost)
            return ras::Success; // the service went away with the line
        if (elsewhere)
            return ras::InvalidHandle;
    } else if (!listed) {
        // Not a line we know of: only the service can tell.
        Request request;
        request.op = Op::HangUp;
        request.handle = handle;
        const auto answer = call(request);
        return answer ? answer->result : ras::ServiceUnavailable;
    }
    if (connections_) {
        connections_->removeIf([handle](const LineInfo& line) { return line.handle == handle; });
    }
    Request request;
    request.op = Op::HangUp;
    request.handle = handle;
    send(request);
    return ras::Success;
}

std::uint32_t SimRemoteAccess::connectStatus(RasHandle handle, RASCONNSTATUS* status)
{
    if (status == nullptr || status->dwSize != sizeof(RASCONNSTATUS))
        return ras::InvalidParameter;
    if (handle == 0)
        return ras::InvalidHandle;
    drainIncoming();
    if (const LineInfo* line = connectedLine(handle))
        return fillStatus(status, line->state, line->error, line->deviceType, line->deviceName);
    if (const auto found = attempts_.constFind(handle); found != attempts_.cend()) {
        if (hungUpElsewhere(*found, handle))
            return ras::InvalidHandle;
        return fillStatus(status, found->state, found->error, found->deviceType, found->deviceName);
    }
    Request request;
    request.op = Op::Status;
    request.handle = handle;
    const auto answer = call(request);
    if (!answer)
        return ras::ServiceUnavailable;
    if (answer->result != ras::Success)
        return answer->result;
    const LineInfo& line = answer->status;
    return fillStatus(status, line.state, line.error, line.deviceType, line.deviceName);
}

std::uint32_t SimRemoteAccess::connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut)
{
    // Asked on the way, never waited for: each call reports what the last answer said.
    Request request;
    request.op = Op::Status;
    request.handle = handle;
    send(request, [this, handle](const std::optional<Answer>& answer) {
        if (answer && answer->result == ras::Success)
            traffic_.insert(handle, { std::uint64_t(answer->status.bytesIn), std::uint64_t(answer->status.bytesOut) });
    });
    const auto found = traffic_.constFind(handle);
    if (found == traffic_.cend())
        return ras::InvalidParameter;
    *bytesIn = found->first;
    *bytesOut = found->second;
    return ras::Success;
}

std::uint32_t SimRemoteAccess::errorString(std::uint32_t code, char* buffer, std::uint32_t size)
{
    QString text = rasErrorText(code);
    if (buffer == nullptr || text.isEmpty())
        return ras::InvalidParameter;
    if (code == ras::ServiceUnavailable && !problem_.isEmpty())
        text = text.chopped(1) + QStringLiteral(": ") + problem_ + QLatin1Char('.');
    copyToField(buffer, size, text.toUtf8());
    return ras::Success;
}

QString SimRemoteAccess::dialerCaptionTemplate()
{
    return captionTemplate();
}

QString SimRemoteAccess::connectedWindowTitle()
{
    return sim::connectedWindowTitle();
}

} // namespace vorn::sim
