#include "platform/sim/LocalSocket.h"

#include <QFile>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn::sim
{

namespace
{

// Notifiers may be closed from their own signal: let them go once it returns.
void release(QSocketNotifier*& notifier)
{
    if (notifier != nullptr) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        notifier = nullptr;
    }
}

} // namespace

LocalSocket::~LocalSocket()
{
    abort();
}

LocalSocket::Connect LocalSocket::connectToServer(const QString& path)
{
    abort();
    incoming_.clear();
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof address.sun_path))
        return Connect::Refused;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Connect::Refused;
    // A local connect completes at once, or fails at once.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EAGAIN ? Connect::Busy : Connect::Refused;
    }
    fd_ = fd;
    readable_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, &LocalSocket::readFromSocket);
    writable_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    writable_->setEnabled(false);
    connect(writable_, &QSocketNotifier::activated, this, &LocalSocket::flush);
    return Connect::Connected;
}

void LocalSocket::write(const QByteArray& data)
{
    if (fd_ < 0)
        return;
    outgoing_ += data;
    flush();
}

void LocalSocket::flush()
{
    while (fd_ >= 0 && !outgoing_.isEmpty()) {
        const ssize_t sent = ::send(fd_, outgoing_.constData(), size_t(outgoing_.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            outgoing_.remove(0, sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            // A full socket drains later; a closed one is found by the next read.
            if (sent < 0 && errno != EAGAIN)
                outgoing_.clear();
            break;
        }
    }
    if (writable_ != nullptr)
        writable_->setEnabled(!outgoing_.isEmpty());
}

void LocalSocket::waitForReadyRead(int ms)
{
    // A caller waiting without an event loop has its requests sent meanwhile.
    flush();
    if (fd_ < 0)
        return;
    pollfd ready { fd_, POLLIN, 0 };
    if (::poll(&ready, 1, ms) > 0)
        readFromSocket();
}

void LocalSocket::readFromSocket()
{
    bool closed = false;
    const qsizetype before = incoming_.size();
    char buffer[16384];
    while (fd_ >= 0) {
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            incoming_.append(buffer, got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            closed = got == 0 || errno != EAGAIN;
            break;
        }
    }
    if (incoming_.size() > before)
        emit readyRead();
    // The reader may have closed the stream already.
    if (closed && fd_ >= 0) {
        abort();
        emit disconnected();
    }
}

void LocalSocket::abort()
{
    release(readable_);
    release(writable_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    outgoing_.clear();
}

} // namespace vorn::sim
