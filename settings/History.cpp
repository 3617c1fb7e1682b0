#include "settings/History.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace vorn
{

namespace
{

constexpr int BusyTimeoutMs = 5000;

QString isoNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    // With its offset written out, even at UTC, so that a reader knows the local date.
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void bind(sqlite3_stmt* statement, int index, const QVariant& value)
{
    if (value.typeId() == QMetaType::QString) {
        const QByteArray text = value.toString().toUtf8();
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_int64(statement, index, value.toLongLong());
    }
}

QString columnText(sqlite3_stmt* statement, int column)
{
    return QString::fromUtf8(
        reinterpret_cast<const char*>(sqlite3_column_text(statement, column)), sqlite3_column_bytes(statement, column));
}

QByteArray csvField(const QString& text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field.replace('"', "\"\"") + '"';
    return field;
}

} // namespace

ConnectionHistory::ConnectionHistory(QString file, QString backend, Mode mode)
    : file_(std::move(file))
    , backend_(std::move(backend))
    , mode_(mode)
{
}

ConnectionHistory::~ConnectionHistory()
{
    sqlite3_close(db_);
}

QString ConnectionHistory::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Connected:
        return QStringLiteral("connected");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Skipped:
        return QStringLiteral("skipped");
    case Outcome::Aborted:
        return QStringLiteral("aborted");
    case Outcome::Stopped:
        return QStringLiteral("stopped");
    }
    return {};
}

bool ConnectionHistory::fail(const QString& what)
{
    const QString problem
        = db_ != nullptr ? what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_)) : what;
    // Said once: the same fault comes back on every tick.
    if (problem != problem_)
        qWarning("%s", qPrintable(problem));
    problem_ = problem;
    return false;
}

bool ConnectionHistory::ensureOpen()
{
    if (db_ != nullptr)
        return true;
    const QFileInfo info(file_);
    if (mode_ == Mode::ReadOnly && !info.exists())
        return fail(QStringLiteral("No history: %1 does not exist").arg(file_));
    if (info.isDir())
        return fail(QStringLiteral("Cannot open the history %1: it is a folder").arg(file_));
    if (!info.exists()) {
        QDir().mkpath(info.absolutePath());
        // Created before SQLite opens it, so that it is private from the start.
        const int fd = ::open(QFile::encodeName(file_).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    const int flags = mode_ == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(QFile::encodeName(file_).constData(), &db_, flags, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("Cannot open the history %1").arg(file_));
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    const char* schema = mode_ == Mode::ReadOnly ? "SELECT count(*) FROM attempts"
                                                 : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                                                   "CREATE TABLE IF NOT EXISTS attempts ("
                                                   " id INTEGER PRIMARY KEY, entry TEXT NOT NULL,"
                                                   " backend TEXT NOT NULL, start TEXT NOT NULL, end TEXT NOT NULL,"
                                                   " outcome TEXT NOT NULL, code INTEGER NOT NULL, text TEXT NOT NULL,"
                                                   " seconds INTEGER NOT NULL, bytes_in INTEGER NOT NULL,"
                                                   " bytes_out INTEGER NOT NULL)";
    if (sqlite3_exec(db_, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("Cannot read the history %1").arg(file_));
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool ConnectionHistory::exec(const char* sql, const QList<QVariant>& values)
{
    if (!ensureOpen())
        return false;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("Cannot write the history %1").arg(file_));
    for (int i = 0; i < values.size(); ++i)
        bind(statement, i + 1, values[i]);
    const int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return fail(QStringLiteral("Cannot write the history %1").arg(file_));
    problem_.clear();
    return true;
}

void ConnectionHistory::started(const QString& entry)
{
    current_ = Attempt {};
    current_.entry = entry;
    current_.backend = backend_;
    current_.start = current_.end = isoNow();
    current_.outcome = outcomeName(Outcome::Aborted);
    currentId_ = 0;
    if (exec("INSERT INTO attempts (entry, backend, start, end, outcome, code, text, seconds, bytes_in, bytes_out)"
             " VALUES (?, ?, ?, ?, ?, 0, '', 0, 0, 0)",
            { current_.entry, current_.backend, current_.start, current_.end, current_.outcome }))
        currentId_ = sqlite3_last_insert_rowid(db_);
}

void ConnectionHistory::writeCurrent()
{
    if (currentId_ == 0)
        return;
    exec("UPDATE attempts SET end = ?, outcome = ?, code = ?, text = ?, seconds = ?, bytes_in = ?, bytes_out = ?"
         " WHERE id = ?",
        { current_.end, current_.outcome, current_.code, current_.text, current_.seconds, current_.bytesIn,
            current_.bytesOut, currentId_ });
}

void ConnectionHistory::ended(Outcome outcome, qint64 code, const QString& text)
{
    if (currentId_ == 0 || current_.outcome == outcomeName(Outcome::Connected))
        return;
    current_.end = isoNow();
    current_.outcome = outcomeName(outcome);
    current_.code = code;
    current_.text = text;
    writeCurrent();
    currentId_ = 0;
}

void ConnectionHistory::connected()
{
    current_.end = isoNow();
    current_.outcome = outcomeName(Outcome::Connected);
    writeCurrent();
}

void ConnectionHistory::tick(qint64 seconds, qint64 bytesIn, qint64 bytesOut)
{
    current_.end = isoNow();
    current_.seconds = seconds;
    current_.bytesIn = bytesIn;
    current_.bytesOut = bytesOut;
    writeCurrent();
}

void ConnectionHistory::disconnected(qint64 code, const QString& text)
{
    if (currentId_ == 0 || current_.outcome != outcomeName(Outcome::Connected))
        return;
    current_.end = isoNow();
    current_.code = code;
    current_.text = text;
    writeCurrent();
    currentId_ = 0;
    current_ = {};
}

std::optional<QList<Attempt>> ConnectionHistory::attempts(const QString& entry, const QDate& since)
{
    if (!ensureOpen())
        return std::nullopt;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_,
            "SELECT entry, backend, start, end, outcome, code, text, seconds, bytes_in, bytes_out FROM attempts"
            " WHERE (?1 = '' OR entry = ?1) AND (?2 = '' OR substr(start, 1, 10) >= ?2) ORDER BY id",
            -1, &statement, nullptr)
        != SQLITE_OK) {
        fail(QStringLiteral("Cannot read the history %1").arg(file_));
        return std::nullopt;
    }
    bind(statement, 1, entry);
    bind(statement, 2, since.isValid() ? since.toString(Qt::ISODate) : QString());
    QList<Attempt> rows;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        rows.append({ columnText(statement, 0), columnText(statement, 1), columnText(statement, 2),
            columnText(statement, 3), columnText(statement, 4), sqlite3_column_int64(statement, 5),
            columnText(statement, 6), sqlite3_column_int64(statement, 7), sqlite3_column_int64(statement, 8),
            sqlite3_column_int64(statement, 9) });
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        fail(QStringLiteral("Cannot read the history %1").arg(file_));
        return std::nullopt;
    }
    return rows;
}

bool ConnectionHistory::clear(const QString& entry)
{
    return exec("DELETE FROM attempts WHERE ?1 = '' OR entry = ?1", { entry });
}

QByteArray historyCsv(const QList<Attempt>& attempts)
{
    QByteArray csv = "entry,backend,start,end,outcome,code,text,seconds,bytes_in,bytes_out\r\n";
    for (const auto& a : attempts) {
        const QStringList fields { a.entry, a.backend, a.start, a.end, a.outcome, QString::number(a.code), a.text,
            QString::number(a.seconds), QString::number(a.bytesIn), QString::number(a.bytesOut) };
        QByteArrayList encoded;
        for (const auto& field : fields)
            encoded.append(csvField(field));
        csv += encoded.join(',') + "\r\n";
    }
    return csv;
}

QMap<QString, QVector<qint64>> connectedPerDay(const QList<Attempt>& attempts, const QDate& first, int days)
{
    QMap<QString, QVector<qint64>> perDay;
    for (const auto& a : attempts) {
        const QDateTime end = QDateTime::fromString(a.end, Qt::ISODate).toLocalTime();
        if (a.outcome != QLatin1StringView("connected") || a.seconds <= 0 || !end.isValid())
            continue;
        auto& sums = perDay[a.entry];
        sums.resize(days);
        QDateTime from = end.addSecs(-a.seconds);
        while (from < end) {
            const QDateTime midnight = from.date().addDays(1).startOfDay();
            const QDateTime to = std::min(end, midnight);
            const qint64 day = first.daysTo(from.date());
            if (day >= 0 && day < days)
                sums[day] += from.secsTo(to);
            from = to;
        }
    }
    return perDay;
}

} // namespace vorn
