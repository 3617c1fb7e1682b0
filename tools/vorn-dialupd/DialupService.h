#pragma once

#include "platform/RemoteAccess.h"
#include "platform/sim/DialupProtocol.h"
#include "platform/sim/Phonebook.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>

class QLocalSocket;

namespace vorn::sim
{

// The simulated dial-up service: serves the phonebooks and runs every line
// (dialing, failed, connected) for all clients of this user. Lines belong to
// the service, so every client sees every connection.
class DialupService : public QObject
{
    Q_OBJECT
public:
    struct Options {
        QString socketPath;
        int idleExitSeconds = 60; // 0: never
        bool trace = false; // each step on stderr, with its steady-clock time
        int maxClients = 1000; // more are refused, so the files we may open never run out
    };

    // One published progress step of a dial script.
    struct Step {
        std::uint32_t state;
        std::uint32_t error;
        int delaySteps; // step delays to wait before this step
    };

    explicit DialupService(Options options);
    ~DialupService() override;

    // Takes the socket; false (with *error set) when it cannot. Only a stale
    // socket is removed: any other file at the path is left alone.
    bool listen(QString* error);

    // Hangs up a line, from a client or from the Disconnect button.
    std::uint32_t hangUp(RasHandle handle);

signals:
    void lineConnected(vorn::RasHandle handle, const QString& entry, const QString& deviceName);
    void lineGone(vorn::RasHandle handle);
    void idleTimeout();

private:
    struct Client {
        QByteArray buffer;
    };

    struct Line {
        RasHandle handle = 0;
        PhonebookEntry entry;
        QList<Step> script;
        int nextStep = 0;
        std::uint32_t state = ras::OpenPort;
        std::uint32_t error = 0;
        bool connected = false;
        bool dropped = false;
        QElapsedTimer connectedClock; // from connect; its time is kept at a drop
        qint64 connectedMs = 0;
        QPointer<QLocalSocket> owner; // the client that dials, until connected
        std::unique_ptr<QTimer> timer; // next step, or the drop of a connection
    };

    struct LoadedPhonebook {
        Phonebook book;
        QDateTime modified;
        qint64 size = -1;
        QHash<QString, int> dialCounts; // by entry name in lower case
    };

    void acceptClient();
    void readClient(QLocalSocket* socket);
    void clientGone(QLocalSocket* socket);
    void serve(QLocalSocket* socket, const QByteArray& message);
    // Never deletes the socket nor any line: a client that has gone is let go
    // later, once the handler that sent has finished.
    void send(QLocalSocket* socket, const QByteArray& message);
    void refuse(QLocalSocket* socket, const QString& why);
    QByteArray connectionsUpdate() const;
    void broadcastConnections();
    void keepListening();

    Answer entries(const Request& request);
    Answer connections() const;
    Answer dial(const Request& request, QLocalSocket* socket);
    Answer status(const Request& request) const;
    Answer lines() const;
    Answer drop(const Request& request);
    Answer reload();

    void runStep(RasHandle handle);
    void dropLine(RasHandle handle);
    LineInfo infoOf(const Line& line) const;

    // The phonebook at `path` (the default one when empty), read again when
    // its file has changed; null with *result set when it cannot be read.
    LoadedPhonebook* phonebook(const QString& path, std::uint32_t* result);
    bool readPhonebook(const QString& path, LoadedPhonebook* into);
    QString defaultPhonebook() const;

    void checkIdle();

    Options options_;
    QLocalServer server_;
    QHash<QLocalSocket*, Client> clients_;
    std::map<RasHandle, Line> lines_;
    QHash<QString, LoadedPhonebook> phonebooks_;
    RasHandle nextHandle_;
    QTimer idleTimer_;
    QTimer listenWatch_; // the server stops listening when it runs out of files
};

} // namespace vorn::sim
