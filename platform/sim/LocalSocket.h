#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <utility>

class QSocketNotifier;

namespace vorn::sim
{

// A client's stream to the service's Unix socket, with Qt Core only: Qt
// Network would bring its own large libraries (and Kerberos, proxies and
// their friends) into every program that dials. Writes never block: what
// the socket does not take at once goes out as it drains. What arrives is
// read as the event loop reports it, or in waitForReadyRead().
class LocalSocket final : public QObject
{
    Q_OBJECT

public:
    enum class Connect { Connected, Busy, Refused };

    ~LocalSocket() override;

    // Busy: the service's backlog is full, try again; Refused: nobody listens there.
    Connect connectToServer(const QString& path);
    bool isConnected() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

    void write(const QByteArray& data);
    // Sends what the socket takes now, without waiting.
    void flush();
    qint64 bytesAvailable() const { return incoming_.size(); }
    QByteArray readAll() { return std::exchange(incoming_, {}); }
    // Waits up to `ms` for data, reads it and reports it as the event loop would.
    void waitForReadyRead(int ms);
    // Closes the stream at once; what is unsent is dropped.
    void abort();

signals:
    void readyRead();
    // The service closed the stream; what it sent before is read already.
    void disconnected();

private:
    void readFromSocket();

    int fd_ = -1;
    QByteArray incoming_;
    QByteArray outgoing_;
    // Children, so that one left to deleteLater goes with the socket at the latest.
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
};

} // namespace vorn::sim
