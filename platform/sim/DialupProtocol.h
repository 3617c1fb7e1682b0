#pragma once

#include "platform/RemoteAccess.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

// The messages between the simulated dial-up service and its clients: one
// compact JSON object per line over a Unix socket. Clients send requests; the
// service answers each with the request's id, posts dial-progress
// notifications to the client that dialed, and tells every client the
// connected lines whenever they change (and once when it connects).
namespace vorn::sim
{

// A request longer than this is refused and its connection closed.
constexpr qsizetype MaxRequestBytes = 16 * 1024;
// The service's messages may list a whole phonebook (at most 1 MiB of text).
constexpr qsizetype MaxServiceMessageBytes = 8 * 1024 * 1024;

// $VORN_DIALUP_SOCKET, else "dialup.sock" in the per-user runtime folder.
QString socketPath();

// A folder that holds the socket, and whether it must be closed to others.
struct SocketFolder {
    QString path;
    bool mustBePrivate;
};
// The folders that must be this user's before the socket at `path` is
// trusted, outermost first: the default ones must be private too.
QList<SocketFolder> socketFolders(const QString& path);
// Why the socket at `path` cannot be trusted, naming the folder; empty when it can.
QString socketFolderProblem(const QString& path);

enum class Op {
    Entries, // entry names of a phonebook
    Connections, // active connections
    Dial,
    HangUp,
    Status,
    Lines, // every line the service holds, dialing ones included (control)
    Drop, // break a line as a faulty modem would (control)
    Reload, // read the phonebooks again, dial counts reset (control)
};

struct Request {
    Op op = Op::Entries;
    qint64 id = 0;
    QString phonebook;
    QString entry;
    QString phoneNumber;
    QString callbackNumber;
    QString userName;
    QString password;
    QString domain;
    // The line asked about; for a dial, the handle the client chose (0: the service chooses).
    RasHandle handle = 0;
};

// One line as the service reports it.
struct LineInfo {
    RasHandle handle = 0;
    QString entry;
    QString deviceType;
    QString deviceName;
    std::uint32_t state = 0;
    std::uint32_t error = 0;
    // Traffic of a connection so far, each way.
    qint64 bytesIn = 0;
    qint64 bytesOut = 0;
};

struct Answer {
    qint64 id = 0;
    std::uint32_t result = 0;
    QString message; // what went wrong, for people
    RasHandle handle = 0;
    QStringList entries;
    QList<LineInfo> lines;
    LineInfo status;
    QStringList warnings;
};

struct Notification {
    RasHandle handle = 0;
    std::uint32_t state = 0;
    std::uint32_t error = 0;
};

// The connected lines (broken ones included, in state Disconnected) after a change.
struct ConnectionsUpdate {
    QList<LineInfo> lines;
};

struct ParseError {
    QString message;
};

QByteArray encodeRequest(const Request& request);
std::variant<Request, ParseError> parseRequest(const QByteArray& line);

QByteArray encodeAnswer(const Answer& answer);
QByteArray encodeNotification(const Notification& notification);
QByteArray encodeConnectionsUpdate(const ConnectionsUpdate& update);
std::variant<Answer, Notification, ConnectionsUpdate, ParseError> parseServiceMessage(const QByteArray& line);

// The answer to a request that cannot be served: result 87 and the reason.
Answer errorAnswer(qint64 id, const QString& message);

} // namespace vorn::sim
