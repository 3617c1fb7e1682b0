#include "platform/sim/SimRemoteAccess.h"

#include "platform/Paths.h"
#include "platform/sim/SimDialer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstring>

namespace vorn::sim
{

namespace
{

constexpr int AnswerTimeoutMs = 5000;
constexpr int ServiceStartTimeoutMs = 5000;

// The phonebook as the service needs it: absolute, since its folder is not ours.
QString phonebookPath(const char* phonebook)
{
    if (phonebook == nullptr || phonebook[0] == '\0')
        return QString();
    return QFileInfo(QString::fromUtf8(phonebook)).absoluteFilePath();
}

} // namespace

SimRemoteAccess::SimRemoteAccess(QString socketPath)
    : socketPath_(std::move(socketPath))
{
    connect(&socket_, &QLocalSocket::readyRead, this, &SimRemoteAccess::readMessages);
    connect(&socket_, &QLocalSocket::disconnected, this, &SimRemoteAccess::serviceLost);
}

SimRemoteAccess::~SimRemoteAccess()
{
    socket_.disconnect(this);
    socket_.abort();
}

bool SimRemoteAccess::connectOnce(int timeoutMs)
{
    socket_.abort();
    pending_.clear();
    socket_.connectToServer(socketPath_);
    return socket_.waitForConnected(timeoutMs);
}

bool SimRemoteAccess::startService()
{
    // Detached, holding on to none of our files: a test runner waiting for
    // our output to end must not wait for the service as well.
    QProcess service;
    service.setProgram(paths::siblingProgram(serviceProgram()));
    service.setArguments({ QStringLiteral("--socket"), socketPath_ });
    service.setWorkingDirectory(QDir::rootPath());
    service.setStandardInputFile(QProcess::nullDevice());
    service.setStandardOutputFile(QProcess::nullDevice());
    service.setStandardErrorFile(QProcess::nullDevice());
    return service.startDetached();
}

bool SimRemoteAccess::ensureConnected()
{
    if (socket_.state() == QLocalSocket::ConnectedState)
        return true;
    if (connectOnce(1000))
        return true;
    if (!startService())
        return false;
    // The service creates its socket within moments; this wait happens once.
    const QDeadlineTimer deadline(ServiceStartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (connectOnce(500))
            return true;
        QThread::msleep(20);
    }
    return false;
}

std::optional<Answer> SimRemoteAccess::call(Request request)
{
    if (!ensureConnected())
        return std::nullopt;
    request.id = nextId_++;
    awaitedId_ = request.id;
    answer_.reset();
    socket_.write(encodeRequest(request));
    socket_.flush();

    const QDeadlineTimer deadline(AnswerTimeoutMs);
    for (readMessages(); !answer_; readMessages()) {
        if (socket_.state() != QLocalSocket::ConnectedState)
            break;
        if (!socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime())) && deadline.hasExpired()) {
            // A service that stops answering is as good as gone.
            socket_.abort();
            serviceLost();
            break;
        }
    }
    awaitedId_ = 0;
    // Lines after the answer (notifications of a dial just started) are
    // handled once the caller has registered what they belong to.
    if (pending_.contains('\n'))
        QMetaObject::invokeMethod(this, &SimRemoteAccess::readMessages, Qt::QueuedConnection);
    return std::exchange(answer_, std::nullopt);
}

void SimRemoteAccess::readMessages()
{
    if (socket_.bytesAvailable() > 0)
        pending_ += socket_.readAll();
    qsizetype newline;
    while (!answer_ && (newline = pending_.indexOf('\n')) >= 0) {
        const QByteArray line = pending_.left(newline);
        pending_.remove(0, newline + 1);
        const auto message = parseServiceMessage(line);
        if (const auto* notification = std::get_if<Notification>(&message))
            deliver(*notification);
        else if (const auto* answer = std::get_if<Answer>(&message))
            takeAnswer(*answer);
        else
            qWarning("dial-up service: %s", qPrintable(std::get<ParseError>(message).message));
    }
    if (pending_.size() > MaxServiceMessageBytes) {
        qWarning("dial-up service: message too long, connection closed");
        socket_.abort();
    }
}

void SimRemoteAccess::takeAnswer(const Answer& answer)
{
    // A refusal comes with id 0; an answer to an earlier request that timed out is stale.
    if (awaitedId_ != 0 && (answer.id == awaitedId_ || answer.id == 0))
        answer_ = answer;
}

void SimRemoteAccess::deliver(const Notification& notification)
{
    const auto found = attempts_.find(notification.handle);
    if (found == attempts_.end())
        return;
    const QPointer<QObject> receiver = found->receiver;
    found->lastState = notification.state;
    // No notification follows a connection or a failure.
    if (notification.error != 0 || notification.state == ras::Connected)
        attempts_.erase(found);
    if (receiver)
        QCoreApplication::postEvent(
            receiver, new RasDialEvent(dialEventMessage(), notification.state, notification.error));
}

void SimRemoteAccess::serviceLost()
{
    // Every attempt in progress fails at once instead of waiting forever.
    for (auto it = attempts_.cbegin(); it != attempts_.cend(); ++it) {
        lost_.insert(it.key(), it->lastState);
        if (it->receiver)
            QCoreApplication::postEvent(
                it->receiver, new RasDialEvent(dialEventMessage(), it->lastState, ras::PortDisconnected));
    }
    attempts_.clear();
}

template <typename Record, typename Item, typename Fill>
std::uint32_t SimRemoteAccess::enumerate(const Request& request, Record* records, std::uint32_t* bufferBytes,
    std::uint32_t* count, QList<Item> Answer::*items, Fill fill)
{
    if (bufferBytes == nullptr || count == nullptr || (records == nullptr && *bufferBytes != 0))
        return ras::InvalidParameter;
    const auto answer = call(request);
    if (!answer)
        return ras::ServiceUnavailable;
    *count = 0;
    if (answer->result != ras::Success)
        return answer->result;

    // As many records as fit are written; the count says how many there are.
    const QList<Item>& all = (*answer).*items;
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

std::uint32_t SimRemoteAccess::enumEntries(
    const char* phonebook, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    Request request;
    request.op = Op::Entries;
    request.phonebook = phonebookPath(phonebook);
    return enumerate(request, entries, bufferBytes, count, &Answer::entries,
        [](RASENTRYNAME& record, const QString& name) { copyToField(record.szEntryName, name.toUtf8()); });
}

std::uint32_t SimRemoteAccess::enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    Request request;
    request.op = Op::Connections;
    return enumerate(
        request, connections, bufferBytes, count, &Answer::lines, [](RASCONN& record, const LineInfo& line) {
            record.hrasconn = line.handle;
            copyToField(record.szEntryName, line.entry.toUtf8());
            copyToField(record.szDeviceType, line.deviceType.toUtf8());
            copyToField(record.szDeviceName, line.deviceName.toUtf8());
        });
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
    const auto answer = call(request);
    if (!answer)
        return ras::ServiceUnavailable;
    *handle = answer->handle;
    if (answer->result == ras::Success && answer->handle != 0) {
        Attempt attempt;
        attempt.receiver = receiver;
        attempts_.insert(answer->handle, attempt);
    }
    return answer->result;
}

std::uint32_t SimRemoteAccess::hangUp(RasHandle handle)
{
    attempts_.remove(handle);
    if (lost_.remove(handle))
        return ras::Success;
    if (handle == 0)
        return ras::InvalidHandle;
    Request request;
    request.op = Op::HangUp;
    request.handle = handle;
    const auto answer = call(request);
    return answer ? answer->result : ras::ServiceUnavailable;
}

std::uint32_t SimRemoteAccess::connectStatus(RasHandle handle, RASCONNSTATUS* status)
{
    if (status == nullptr || status->dwSize != sizeof(RASCONNSTATUS))
        return ras::InvalidParameter;
    if (handle == 0)
        return ras::InvalidHandle;
    auto fill = [status](std::uint32_t state, std::uint32_t error, const QString& type, const QString& name) {
        status->rasconnstate = state;
        status->dwError = error;
        copyToField(status->szDeviceType, type.toUtf8());
        copyToField(status->szDeviceName, name.toUtf8());
        return ras::Success;
    };
    if (const auto found = lost_.constFind(handle); found != lost_.cend())
        return fill(*found, ras::PortDisconnected, QString(), QString());
    if (const auto found = attempts_.constFind(handle); found != attempts_.cend() && found->deviceKnown)
        return fill(found->lastState, 0, found->deviceType, found->deviceName);

    Request request;
    request.op = Op::Status;
    request.handle = handle;
    const auto answer = call(request);
    if (!answer)
        return ras::ServiceUnavailable;
    if (answer->result != ras::Success)
        return answer->result;
    const LineInfo& line = answer->status;
    if (auto found = attempts_.find(handle); found != attempts_.end()) {
        found->deviceKnown = true;
        found->deviceType = line.deviceType;
        found->deviceName = line.deviceName;
    }
    return fill(line.state, line.error, line.deviceType, line.deviceName);
}

std::uint32_t SimRemoteAccess::connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut)
{
    Request request;
    request.op = Op::Status;
    request.handle = handle;
    const auto answer = call(request);
    if (!answer)
        return ras::ServiceUnavailable;
    if (answer->result != ras::Success)
        return answer->result;
    *bytesIn = std::uint64_t(answer->status.bytesIn);
    *bytesOut = std::uint64_t(answer->status.bytesOut);
    return ras::Success;
}

std::uint32_t SimRemoteAccess::errorString(std::uint32_t code, char* buffer, std::uint32_t size)
{
    const QString text = rasErrorText(code);
    if (buffer == nullptr || text.isEmpty())
        return ras::InvalidParameter;
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
