#pragma once

#include "platform/Registry.h"

#include <QString>

#include <map>
#include <mutex>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace vorn
{

// The registry hive in one SQLite file. The connection stays open for the
// life of the object and statements are prepared once, so that opening and
// closing a key per value operation stays cheap. Several processes may share
// the file: WAL lets readers run beside a writer, every write is a single
// committed statement or an IMMEDIATE transaction (transact() makes many
// writes one), and a busy timeout makes writers queue instead of failing.
// Keys link to their parent, so a key costs the same however deep it is. A file that cannot be written answers
// reg::AccessDenied to writes; a damaged one answers reg::BadDatabase and
// says why in problem().
class SqliteRegistry final : public Registry
{
public:
    enum class Mode { ReadWrite, ReadOnly };
    explicit SqliteRegistry(QString file, Mode mode = Mode::ReadWrite);
    ~SqliteRegistry() override;
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    std::int32_t openKey(HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result) override;
    std::int32_t createKey(
        HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool* created = nullptr) override;
    std::int32_t queryValue(
        HKEY key, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override;
    std::int32_t setValue(
        HKEY key, const QByteArray& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size) override;
    std::int32_t closeKey(HKEY key) override;
    std::int32_t deleteKey(HKEY parent, const QByteArray& path) override;
    std::int32_t deleteValue(HKEY key, const QByteArray& name) override;
    std::int32_t enumKeys(HKEY key, QByteArrayList& names) override;
    std::int32_t enumValues(HKEY key, std::vector<RegValue>& values) override;
    std::int32_t transact(const std::function<std::int32_t()>& changes) override;
    QString problem() const override;

    const QString& file() const { return file_; }

private:
    struct OpenKey {
        qint64 id = 0;
        std::uint32_t access = 0;
    };
    class Statement;

    std::int32_t ensureOpen();
    void closeDatabase();
    std::int32_t createSchema();
    std::int32_t readVersion(int& version, int& tables);
    std::int32_t insertRoots();
    std::int32_t upgrade();
    std::int32_t copyVersion1();
    std::int32_t begin();
    std::int32_t end(std::int32_t result);
    std::int32_t fail(int sqliteCode);
    void report(const QString& problem);
    std::int32_t lookup(HKEY handle, OpenKey& key) const;
    std::int32_t useKey(HKEY handle, std::uint32_t needed, bool writes, OpenKey& key);
    std::int32_t openHandle(
        HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool create, bool* created);
    std::int32_t findChild(qint64 parent, const QByteArray& name, qint64& id);
    std::int32_t resolve(HKEY parent, const QByteArray& path, OpenKey& key, bool create, bool* created);
    HKEY addHandle(const OpenKey& key);
    sqlite3_stmt* prepared(const char* sql);
    std::int32_t exec(const char* sql);

    QString file_;
    Mode mode_;
    // Recursive: transact() holds it while the changes call back in.
    mutable std::recursive_mutex mutex_;
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    QString problem_;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
    std::map<HKEY, OpenKey> handles_;
    HKEY nextHandle_ = 1;
    int transactionDepth_ = 0;
};

} // namespace vorn
