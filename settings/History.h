#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

#include <optional>

struct sqlite3;

namespace vorn
{

// One dialing attempt as the history keeps it.
struct Attempt {
    QString entry;
    QString backend;
    QString start; // ISO 8601 with the offset from UTC
    QString end;
    QString outcome; // connected, failed, skipped, aborted or stopped
    qint64 code = 0;
    QString text;
    qint64 seconds = 0;
    qint64 bytesIn = 0;
    qint64 bytesOut = 0;
};

// The history of every dialing attempt, in its own SQLite file (never in the
// hive, whose layout other tools read). The dialers keep the row of their
// current attempt up to date: a connection's row is rewritten on every tick,
// so a program that is killed loses at most its last second. Failing to
// write never stops a dialer: the fault is said once on standard error and
// kept in problem().
class ConnectionHistory
{
public:
    enum class Outcome { Connected, Failed, Skipped, Aborted, Stopped };
    enum class Mode { ReadWrite, ReadOnly };

    explicit ConnectionHistory(QString file, QString backend = {}, Mode mode = Mode::ReadWrite);
    ~ConnectionHistory();
    ConnectionHistory(const ConnectionHistory&) = delete;
    ConnectionHistory& operator=(const ConnectionHistory&) = delete;

    // Dialing `entry` starts a row; until told otherwise it reads "aborted".
    void started(const QString& entry);
    // The attempt in progress ended without a connection. A connected row is
    // left alone: its end is told by disconnected().
    void ended(Outcome outcome, qint64 code = 0, const QString& text = {});
    void connected();
    // One tick of the connection: its end, seconds and traffic so far.
    void tick(qint64 seconds, qint64 bytesIn, qint64 bytesOut);
    // The connection ended; a code and text say why when it broke.
    void disconnected(qint64 code = 0, const QString& text = {});

    // The attempts, oldest first; `entry` empty for all, `since` null for all
    // (compared with the local date of each start). nullopt: problem() says why.
    std::optional<QList<Attempt>> attempts(const QString& entry = {}, const QDate& since = {});
    // Removes the rows of `entry`, or all when it is empty.
    bool clear(const QString& entry = {});

    // Why the file cannot be used; empty while all is well.
    QString problem() const { return problem_; }
    const QString& file() const { return file_; }

    static QString outcomeName(Outcome outcome);

private:
    bool ensureOpen();
    bool exec(const char* sql, const QList<QVariant>& values);
    bool fail(const QString& what);
    void writeCurrent();

    QString file_;
    QString backend_;
    Mode mode_;
    sqlite3* db_ = nullptr;
    QString problem_;
    // The row of the attempt in progress (0: none) and what it holds.
    qint64 currentId_ = 0;
    Attempt current_;
};

// CSV as RFC 4180 (CRLF line ends, fields quoted where needed) with the header
// entry,backend,start,end,outcome,code,text,seconds,bytes_in,bytes_out.
QByteArray historyCsv(const QList<Attempt>& attempts);

// Connected seconds per entry for each of `days` days from `first` (local
// dates), a connection that spans midnight split between its days.
QMap<QString, QVector<qint64>> connectedPerDay(const QList<Attempt>& attempts, const QDate& first, int days);

} // namespace vorn
