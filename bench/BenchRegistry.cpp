// TRegFile's value operations against raw SQLite running the same statements
// (find the key; ask the value's size; read or write it) on a copy of the
// same hive file with the same journal settings. The difference is the
// store's own work: names, handles, buffers, Variant conversion.
#include "platform/linux/SqliteRegistry.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{

constexpr int Entries = 20;

QString entryName(int i)
{
    return QStringLiteral("Entry %1").arg(i);
}

// Operations per second, best of several runs.
double rate(int count, const std::function<void()>& operation)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        operation();
    return count * 1e9 / double(std::max<qint64>(timer.nsecsElapsed(), 1));
}

// Runs both sides in turn, so that a busy machine slows both alike.
void compare(const char* what, int count, const std::function<void()>& store, const std::function<void()>& raw)
{
    double bestStore = 0;
    double bestRaw = 0;
    for (int run = 0; run < 7; ++run) {
        bestStore = std::max(bestStore, rate(count, store));
        bestRaw = std::max(bestRaw, rate(count, raw));
    }
    std::printf("%-28s %12.0f/s %12.0f/s %8.2fx\n", what, bestStore, bestRaw, bestStore / bestRaw);
}

class RawHive
{
public:
    explicit RawHive(const QString& file)
    {
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db_, 10000);
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr,
            nullptr, nullptr);
        findKey_ = prepare("SELECT id FROM keys WHERE parent = ?1 AND upper = ?2");
        valueSize_ = prepare("SELECT type, length(data) FROM vals WHERE key = ?1 AND upper = ?2");
        readValue_ = prepare("SELECT type, data FROM vals WHERE key = ?1 AND upper = ?2");
        writeValue_ = prepare("INSERT INTO vals(key, upper, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                              " ON CONFLICT(key, upper) DO UPDATE SET type = excluded.type, data = excluded.data");
    }
    ~RawHive()
    {
        for (sqlite3_stmt* statement : { findKey_, valueSize_, readValue_, writeValue_ })
            sqlite3_finalize(statement);
        sqlite3_close(db_);
    }
    RawHive(const RawHive&) = delete;
    RawHive& operator=(const RawHive&) = delete;

    // One lookup per path part below HKEY_LOCAL_MACHINE, as keys link to their parent.
    qint64 findKey(const QByteArray& path)
    {
        qint64 id = 3;
        for (const QByteArray& part : path.split('\\')) {
            sqlite3_bind_int64(findKey_, 1, id);
            sqlite3_bind_blob(findKey_, 2, part.constData(), int(part.size()), SQLITE_STATIC);
            id = sqlite3_step(findKey_) == SQLITE_ROW ? sqlite3_column_int64(findKey_, 0) : 0;
            sqlite3_reset(findKey_);
        }
        return id;
    }
    // Find the key, then the value's size: what ValueExists needs.
    qint64 size(const QByteArray& path, const QByteArray& name, qint64* key = nullptr)
    {
        const qint64 id = findKey(path);
        if (key != nullptr)
            *key = id;
        sqlite3_bind_int64(valueSize_, 1, id);
        sqlite3_bind_blob(valueSize_, 2, name.constData(), int(name.size()), SQLITE_STATIC);
        const qint64 bytes = sqlite3_step(valueSize_) == SQLITE_ROW ? sqlite3_column_int64(valueSize_, 1) : -1;
        sqlite3_reset(valueSize_);
        return bytes;
    }
    // The size first, then the data: what ReadValue needs.
    QByteArray read(const QByteArray& path, const QByteArray& name)
    {
        qint64 id = 0;
        if (size(path, name, &id) <= 0)
            return {};
        sqlite3_bind_int64(readValue_, 1, id);
        sqlite3_bind_blob(readValue_, 2, name.constData(), int(name.size()), SQLITE_STATIC);
        QByteArray data;
        if (sqlite3_step(readValue_) == SQLITE_ROW)
            data = QByteArray(
                static_cast<const char*>(sqlite3_column_blob(readValue_, 1)), sqlite3_column_bytes(readValue_, 1));
        sqlite3_reset(readValue_);
        return data;
    }
    void write(const QByteArray& path, const QByteArray& name, const QByteArray& data)
    {
        sqlite3_bind_int64(writeValue_, 1, findKey(path));
        sqlite3_bind_blob(writeValue_, 2, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(writeValue_, 3, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_int(writeValue_, 4, 1);
        sqlite3_bind_blob(writeValue_, 5, data.constData(), int(data.size()), SQLITE_STATIC);
        sqlite3_step(writeValue_);
        sqlite3_reset(writeValue_);
    }

private:
    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        return statement;
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* findKey_ = nullptr;
    sqlite3_stmt* valueSize_ = nullptr;
    sqlite3_stmt* readValue_ = nullptr;
    sqlite3_stmt* writeValue_ = nullptr;
};

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString storeFile = dir.filePath(QStringLiteral("store.db"));
    const QString rawFile = dir.filePath(QStringLiteral("raw.db"));
    {
        vorn::SqliteRegistry hive(storeFile);
        TRegFile reg(nullptr, &hive);
        reg.RootKey = hkLocalMachine;
        for (int i = 0; i < Entries; ++i)
            stats::WriteEntryDefaults(reg, entryName(i));
    }
    QFile::copy(storeFile, rawFile);

    vorn::SqliteRegistry hive(storeFile);
    TRegFile reg(nullptr, &hive);
    reg.RootKey = hkLocalMachine;
    reg.Key = stats::EntryKey(entryName(7));
    RawHive raw(rawFile);
    QByteArray rawPath = stats::EntryKey(entryName(7)).toUtf8().toUpper();
    rawPath.chop(rawPath.endsWith('\\') ? 1 : 0);
    const QByteArray rawName = QByteArray("TotalTime").toUpper();
    const QByteArray text = SecondsToDuration(3723).toUtf8() + '\0';

    std::printf("%-28s %14s %14s %9s\n", "operation", "TRegFile", "raw SQLite", "ratio");
    compare(
        "ValueExists", 10000, [&] { reg.ValueExists(QString(), QStringLiteral("TotalTime")); },
        [&] { raw.size(rawPath, rawName); });
    compare(
        "ReadValue", 10000, [&] { reg.ReadValue(QStringLiteral("TotalTime")); }, [&] { raw.read(rawPath, rawName); });
    compare(
        "WriteValue", 3000, [&] { reg.WriteValue(QStringLiteral("TotalTime"), Variant("01:02:03")); },
        [&] { raw.write(rawPath, rawName, text); });

    // The entry list's refresh: four statistics of each of 20 entries.
    const char* const names[] = { stats::Accesses, stats::LastAccess, stats::LastTime, stats::TotalTime };
    double refreshes = 0;
    for (int run = 0; run < 7; ++run) {
        refreshes = std::max(refreshes, rate(50, [&] {
            for (int i = 0; i < Entries; ++i) {
                reg.Key = stats::EntryKey(entryName(i));
                for (const char* name : names)
                    reg.ReadValue(QLatin1String(name));
            }
        }));
    }
    std::printf("entry list refresh (%d reads): %.0f us\n", Entries * 4, 1e6 / refreshes);
    return 0;
}
