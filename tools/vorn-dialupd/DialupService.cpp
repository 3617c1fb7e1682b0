#include "DialupService.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRandomGenerator>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace vorn::sim
{

namespace
{

constexpr qint64 MaxPhonebookBytes = 1024 * 1024;

// The published progress of a dial that ends in `outcome`.
QList<DialupService::Step> scriptFor(Outcome outcome)
{
    using S = DialupService::Step;
    QList<S> steps { { ras::OpenPort, 0, 0 }, { ras::PortOpened, 0, 1 }, { ras::ConnectDevice, 0, 1 } };
    switch (outcome) {
    case Outcome::Busy:
        steps.append(S { ras::ConnectDevice, ras::LineBusy, 1 });
        return steps;
    case Outcome::NoAnswer:
        // The phone rings a while before giving up.
        steps.append(S { ras::ConnectDevice, ras::NoAnswer, 4 });
        return steps;
    case Outcome::NoDialTone:
        steps.append(S { ras::ConnectDevice, ras::NoDialTone, 1 });
        return steps;
    case Outcome::NoCarrier:
        steps.append(S { ras::ConnectDevice, ras::NoCarrier, 2 });
        return steps;
    case Outcome::BadPassword:
    case Outcome::Connect:
        break;
    }
    steps.append(
        { S { ras::DeviceConnected, 0, 1 }, S { ras::AllDevicesConnected, 0, 1 }, S { ras::Authenticate, 0, 1 } });
    if (outcome == Outcome::BadPassword) {
        steps.append(S { ras::Authenticate, ras::AuthenticationFailure, 1 });
        return steps;
    }
    steps.append({ S { ras::Authenticated, 0, 1 }, S { ras::Connected, 0, 1 } });
    return steps;
}

bool peerIsOurUser(QLocalSocket* socket)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    const auto fd = static_cast<int>(socket->socketDescriptor());
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == getuid();
}

} // namespace

DialupService::DialupService(Options options)
    : options_(std::move(options))
    , nextHandle_(QRandomGenerator::global()->bounded(1U, 0x40000000U))
{
    // Only this user may reach the socket; the peer check below makes sure.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &DialupService::acceptClient);
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (clients_.isEmpty() && std::none_of(lines_.cbegin(), lines_.cend(), [](const auto& item) {
                return !item.second.dropped && item.second.connected;
            }))
            emit idleTimeout();
    });
    // When accepting fails (no file descriptor left), the server closes itself
    // and says nothing: look now and then, and listen again.
    listenWatch_.setInterval(1000);
    connect(&listenWatch_, &QTimer::timeout, this, &DialupService::keepListening);
}

DialupService::~DialupService()
{
    server_.close();
}

bool DialupService::listen(QString* error)
{
    const QByteArray path = QFile::encodeName(options_.socketPath);
    struct stat info {
    };
    if (lstat(path.constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            *error = QStringLiteral("a file that is not a socket is there; it is left as it is");
            return false;
        }
        // We hold the lock, so no service of ours is behind it: a stale socket.
        unlink(path.constData());
    }
    if (!server_.listen(options_.socketPath)) {
        *error = server_.errorString();
        return false;
    }
    listenWatch_.start();
    checkIdle();
    return true;
}

void DialupService::keepListening()
{
    if (server_.isListening())
        return;
    qWarning("stopped listening (%s); listening again", qPrintable(server_.errorString()));
    QString error;
    if (!listen(&error))
        qWarning("cannot listen again: %s", qPrintable(error));
}

void DialupService::acceptClient()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        if (!peerIsOurUser(socket)) {
            refuse(socket, QStringLiteral("refused: the service serves its own user only"));
            continue;
        }
        if (clients_.size() >= options_.maxClients) {
            refuse(socket, QStringLiteral("refused: the service has too many clients (%1)").arg(options_.maxClients));
            continue;
        }
        clients_.insert(socket, Client {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
        // Queued: a write may find the client gone in the middle of a step.
        connect(
            socket, &QLocalSocket::disconnected, this, [this, socket] { clientGone(socket); }, Qt::QueuedConnection);
        idleTimer_.stop();
        // Clients wait for this first word (or a refusal) before they ask anything.
        send(socket, connectionsUpdate());
    }
}

void DialupService::refuse(QLocalSocket* socket, const QString& why)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    send(socket, encodeAnswer(errorAnswer(0, why)));
    socket->disconnectFromServer();
}

void DialupService::send(QLocalSocket* socket, const QByteArray& message)
{
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    // A client that reads nothing is let go before its backlog eats the memory.
    if (socket->bytesToWrite() > MaxServiceMessageBytes) {
        socket->abort();
        return;
    }
    socket->write(message);
    socket->flush();
}

QByteArray DialupService::connectionsUpdate() const
{
    ConnectionsUpdate update;
    for (const auto& [handle, line] : lines_) {
        if (line.connected)
            update.lines.append(infoOf(line));
    }
    return encodeConnectionsUpdate(update);
}

void DialupService::broadcastConnections()
{
    const QByteArray message = connectionsUpdate();
    for (auto it = clients_.cbegin(); it != clients_.cend(); ++it)
        send(it.key(), message);
}

void DialupService::readClient(QLocalSocket* socket)
{
    auto client = clients_.find(socket);
    if (client == clients_.end())
        return;
    client->buffer += socket->readAll();
    qsizetype newline;
    while ((newline = client->buffer.indexOf('\n')) >= 0) {
        const QByteArray message = client->buffer.left(newline);
        client->buffer.remove(0, newline + 1);
        serve(socket, message);
        client = clients_.find(socket);
        if (client == clients_.end())
            return;
    }
    if (client->buffer.size() > MaxRequestBytes) {
        // No way to find the next message's start: answer and part.
        send(socket, encodeAnswer(errorAnswer(0, QStringLiteral("message too long"))));
        socket->disconnectFromServer();
    }
}

void DialupService::clientGone(QLocalSocket* socket)
{
    clients_.remove(socket);
    socket->deleteLater();
    // Attempts of a client that went away are hung up; connections stay.
    for (auto it = lines_.begin(); it != lines_.end();) {
        if (!it->second.connected && (it->second.owner == socket || it->second.owner.isNull()))
            it = lines_.erase(it);
        else
            ++it;
    }
    checkIdle();
}

void DialupService::serve(QLocalSocket* socket, const QByteArray& message)
{
    const auto parsed = parseRequest(message);
    if (const auto* error = std::get_if<ParseError>(&parsed)) {
        send(socket, encodeAnswer(errorAnswer(0, error->message)));
        return;
    }
    const auto& request = std::get<Request>(parsed);
    Answer answer;
    switch (request.op) {
    case Op::Entries:
        answer = entries(request);
        break;
    case Op::Connections:
        answer = connections();
        break;
    case Op::Dial:
        answer = dial(request, socket);
        break;
    case Op::HangUp:
        answer.result = hangUp(request.handle);
        break;
    case Op::Status:
        answer = status(request);
        break;
    case Op::Lines:
        answer = lines();
        break;
    case Op::Drop:
        answer = drop(request);
        break;
    case Op::Reload:
        answer = reload();
        break;
    }
    answer.id = request.id;
    send(socket, encodeAnswer(answer));
    // The first step of a dial follows its answer.
    if (request.op == Op::Dial && answer.result == ras::Success)
        runStep(answer.handle);
}

Answer DialupService::entries(const Request& request)
{
    Answer answer;
    LoadedPhonebook* loaded = phonebook(request.phonebook, &answer.result);
    if (loaded != nullptr) {
        for (const auto& entry : loaded->book.entries)
            answer.entries.append(entry.name);
    }
    return answer;
}

Answer DialupService::connections() const
{
    Answer answer;
    for (const auto& [handle, line] : lines_) {
        if (line.connected && !line.dropped)
            answer.lines.append(infoOf(line));
    }
    return answer;
}

Answer DialupService::dial(const Request& request, QLocalSocket* socket)
{
    Answer answer;
    LoadedPhonebook* loaded = phonebook(request.phonebook, &answer.result);
    if (loaded == nullptr)
        return answer;
    const PhonebookEntry* entry = loaded->book.find(request.entry);
    if (entry == nullptr) {
        answer.result = ras::CannotFindPhonebookEntry;
        return answer;
    }
    if (request.handle != 0 && lines_.count(request.handle) != 0) {
        answer = errorAnswer(0, QStringLiteral("handle %1 is in use").arg(request.handle));
        return answer;
    }
    int& attempt = loaded->dialCounts[entry->name.toLower()];
    Line line;
    line.handle = request.handle;
    while (line.handle == 0 || lines_.count(line.handle) != 0) {
        line.handle = nextHandle_++;
        if (nextHandle_ == 0)
            nextHandle_ = 1;
    }
    line.entry = *entry;
    line.script = scriptFor(entry->outcome(attempt++));
    line.owner = socket;
    line.timer = std::make_unique<QTimer>();
    line.timer->setSingleShot(true);
    line.timer->setTimerType(Qt::PreciseTimer); // a coarse timer may be 5% late
    connect(line.timer.get(), &QTimer::timeout, this, [this, handle = line.handle] { runStep(handle); });
    answer.handle = line.handle;
    answer.status = infoOf(line);
    lines_.emplace(line.handle, std::move(line));
    return answer;
}

void DialupService::runStep(RasHandle handle)
{
    const auto found = lines_.find(handle);
    if (found == lines_.end())
        return;
    Line& line = found->second;
    if (line.connected) {
        dropLine(handle);
        return;
    }
    const Step step = line.script[line.nextStep++];
    line.state = step.state;
    line.error = step.error;
    if (options_.trace) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::fprintf(stderr, "step %u %u %u %lld\n", handle, step.state, step.error,
            static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    }
    const QPointer<QLocalSocket> owner = line.owner;
    const bool connected = step.state == ras::Connected;
    if (connected) {
        line.connected = true;
        line.connectedClock.start();
        line.owner = nullptr;
        if (line.entry.dropAfterSeconds > 0)
            line.timer->start(line.entry.dropAfterSeconds * 1000);
    } else if (step.error == 0) {
        line.timer->start(line.entry.stepDelayMs * line.script[line.nextStep].delaySteps);
    }
    const QString name = line.entry.name;
    const QString device = line.entry.device;

    // From here on the line may be gone: nothing below touches it.
    if (owner)
        send(owner, encodeNotification(Notification { handle, step.state, step.error }));
    if (connected) {
        broadcastConnections();
        emit lineConnected(handle, name, device);
    }
}

void DialupService::dropLine(RasHandle handle)
{
    const auto found = lines_.find(handle);
    if (found == lines_.end() || !found->second.connected || found->second.dropped)
        return;
    // A broken line keeps its record, so its status says why, until it is hung up.
    found->second.dropped = true;
    found->second.connectedMs = found->second.connectedClock.elapsed();
    found->second.state = ras::Disconnected;
    found->second.error = ras::RemoteDisconnection;
    found->second.timer->stop();
    broadcastConnections();
    emit lineGone(handle);
    checkIdle();
}

std::uint32_t DialupService::hangUp(RasHandle handle)
{
    const auto found = lines_.find(handle);
    if (found == lines_.end())
        return ras::InvalidHandle;
    const bool wasConnected = found->second.connected;
    const bool wasShown = wasConnected && !found->second.dropped;
    lines_.erase(found);
    if (wasConnected)
        broadcastConnections();
    if (wasShown)
        emit lineGone(handle);
    checkIdle();
    return ras::Success;
}

Answer DialupService::status(const Request& request) const
{
    Answer answer;
    const auto found = lines_.find(request.handle);
    if (found == lines_.end())
        answer.result = ras::InvalidHandle;
    else
        answer.status = infoOf(found->second);
    return answer;
}

Answer DialupService::lines() const
{
    Answer answer;
    for (const auto& [handle, line] : lines_)
        answer.lines.append(infoOf(line));
    return answer;
}

Answer DialupService::drop(const Request& request)
{
    Answer answer;
    QList<RasHandle> matching;
    for (const auto& [handle, line] : lines_) {
        const bool named = request.handle != 0 ? handle == request.handle
                                               : line.entry.name.compare(request.entry, Qt::CaseInsensitive) == 0;
        if (named && line.connected && !line.dropped)
            matching.append(handle);
    }
    for (const RasHandle handle : matching)
        dropLine(handle);
    if (matching.isEmpty()) {
        answer.result = ras::InvalidHandle;
        answer.message = QStringLiteral("no such connection");
    }
    return answer;
}

Answer DialupService::reload()
{
    // Every phonebook in use is read afresh, its dial counts starting over.
    const QStringList known = phonebooks_.keys();
    phonebooks_.clear();
    Answer answer;
    for (const QString& path : known) {
        std::uint32_t result = ras::Success;
        if (LoadedPhonebook* loaded = phonebook(path, &result)) {
            for (const QString& warning : std::as_const(loaded->book.warnings))
                answer.warnings.append(path + QStringLiteral(": ") + warning);
        }
    }
    return answer;
}

LineInfo DialupService::infoOf(const Line& line) const
{
    LineInfo info;
    info.handle = line.handle;
    info.entry = line.entry.name;
    info.deviceType = line.entry.deviceType;
    info.deviceName = line.entry.device;
    info.state = line.state;
    info.error = line.error;
    const qint64 connectedMs = line.dropped ? line.connectedMs : line.connected ? line.connectedClock.elapsed() : 0;
    info.bytesIn = info.bytesOut = qint64(line.entry.bytesPerSecond) * connectedMs / 1000;
    return info;
}

QString DialupService::defaultPhonebook() const
{
    const QString path = paths::configDir() + QStringLiteral("/rasphone.pbk");
    if (!QFileInfo::exists(path)) {
        // First use: start from the sample phonebook.
        QDir().mkpath(paths::configDir());
        QFile::copy(paths::dataDir() + QStringLiteral("/rasphone.pbk"), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    return path;
}

DialupService::LoadedPhonebook* DialupService::phonebook(const QString& path, std::uint32_t* result)
{
    const QString file = QFileInfo(path.isEmpty() ? defaultPhonebook() : path).absoluteFilePath();
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        *result = ras::CannotOpenPhonebook;
        return nullptr;
    }
    auto loaded = phonebooks_.find(file);
    if (loaded == phonebooks_.end())
        loaded = phonebooks_.insert(file, LoadedPhonebook {});
    if (loaded->modified != info.lastModified() || loaded->size != info.size()) {
        if (!readPhonebook(file, &*loaded)) {
            phonebooks_.erase(loaded);
            *result = ras::CannotOpenPhonebook;
            return nullptr;
        }
        loaded->modified = info.lastModified();
        loaded->size = info.size();
    }
    *result = ras::Success;
    return &*loaded;
}

bool DialupService::readPhonebook(const QString& path, LoadedPhonebook* into)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPhonebookBytes)
        return false;
    into->book = parsePhonebook(file.read(MaxPhonebookBytes));
    for (const QString& warning : std::as_const(into->book.warnings))
        qWarning("%s: %s", qPrintable(path), qPrintable(warning));
    return true;
}

void DialupService::checkIdle()
{
    if (options_.idleExitSeconds > 0 && clients_.isEmpty() && !idleTimer_.isActive())
        idleTimer_.start(options_.idleExitSeconds * 1000);
}

} // namespace vorn::sim
