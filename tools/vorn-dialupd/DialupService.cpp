#include "DialupService.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRandomGenerator>

#include <sys/socket.h>
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
}

DialupService::~DialupService()
{
    server_.close();
}

bool DialupService::listen(QString* error)
{
    QLocalServer::removeServer(options_.socketPath);
    if (!server_.listen(options_.socketPath)) {
        *error = server_.errorString();
        return false;
    }
    checkIdle();
    return true;
}

void DialupService::acceptClient()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsOurUser(socket)) {
            send(socket, encodeAnswer(errorAnswer(0, QStringLiteral("refused: the service serves its own user only"))));
            socket->disconnectFromServer();
            continue;
        }
        clients_.insert(socket, Client {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { clientGone(socket); });
        idleTimer_.stop();
    }
}

void DialupService::send(QLocalSocket* socket, const QByteArray& message)
{
    socket->write(message);
    socket->flush();
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
        clients_.erase(client);
        socket->disconnectFromServer();
    }
}

void DialupService::clientGone(QLocalSocket* socket)
{
    clients_.remove(socket);
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
    int& attempt = loaded->dialCounts[entry->name.toLower()];
    Line line;
    line.handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    line.entry = *entry;
    line.script = scriptFor(entry->outcome(attempt++));
    line.owner = socket;
    line.timer = std::make_unique<QTimer>();
    line.timer->setSingleShot(true);
    line.timer->setTimerType(Qt::PreciseTimer); // a coarse timer may be 5% late
    connect(line.timer.get(), &QTimer::timeout, this, [this, handle = line.handle] { runStep(handle); });
    answer.handle = line.handle;
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
    if (line.owner)
        send(line.owner, encodeNotification(Notification { handle, step.state, step.error }));

    if (step.state == ras::Connected) {
        line.connected = true;
        line.connectedClock.start();
        line.owner = nullptr;
        if (line.entry.dropAfterSeconds > 0)
            line.timer->start(line.entry.dropAfterSeconds * 1000);
        emit lineConnected(handle, line.entry.name, line.entry.device);
    } else if (step.error == 0) {
        line.timer->start(line.entry.stepDelayMs * line.script[line.nextStep].delaySteps);
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
    emit lineGone(handle);
    checkIdle();
}

std::uint32_t DialupService::hangUp(RasHandle handle)
{
    const auto found = lines_.find(handle);
    if (found == lines_.end())
        return ras::InvalidHandle;
    const bool wasShown = found->second.connected && !found->second.dropped;
    lines_.erase(found);
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
