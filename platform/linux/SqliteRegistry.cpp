#include "platform/linux/SqliteRegistry.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vorn
{

const char* const reg::RootNames[reg::RootCount] = { "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
    "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA" };

using namespace reg;

namespace
{

constexpr int SchemaVersion = 1;
constexpr int BusyTimeoutMs = 10000;

bool isAscii(const QByteArray& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// Text that is not valid UTF-8 is still a usable name: it is compared byte
// by byte apart from ASCII case.
bool decodesAsUtf8(const QByteArray& text, QString& decoded)
{
    decoded = QString::fromUtf8(text);
    return decoded.toUtf8() == text;
}

QByteArray fold(const QByteArray& name)
{
    QString decoded;
    if (isAscii(name) || !decodesAsUtf8(name, decoded))
        return name.toLower();
    return decoded.toCaseFolded().toUtf8();
}

qsizetype characterCount(const QByteArray& name)
{
    QString decoded;
    if (isAscii(name) || !decodesAsUtf8(name, decoded))
        return name.size();
    return decoded.size();
}

bool isRoot(HKEY key)
{
    return key >= HKEY_CLASSES_ROOT && key < HKEY_CLASSES_ROOT + RootCount;
}

qint64 rootId(HKEY root)
{
    return qint64(root - HKEY_CLASSES_ROOT) + 1;
}

QByteArray rootPath(HKEY root)
{
    return QByteArray(RootNames[root - HKEY_CLASSES_ROOT]).toLower();
}

// Splits a key path into its parts; empty parts (doubled or trailing
// backslashes) are dropped, a leading backslash is refused.
std::int32_t splitPath(const QByteArray& path, QByteArrayList& parts)
{
    if (path.startsWith('\\'))
        return BadPathName;
    for (const QByteArray& part : path.split('\\')) {
        if (part.isEmpty())
            continue;
        if (characterCount(part) > MaxKeyNameLength)
            return InvalidParameter;
        parts.append(part);
    }
    return Success;
}

void bindBytes(sqlite3_stmt* statement, int index, const QByteArray& bytes)
{
    // A null pointer would bind SQL NULL; an empty blob must stay a blob.
    static const char empty = 0;
    sqlite3_bind_blob(
        statement, index, bytes.isEmpty() ? &empty : bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

QByteArray columnBytes(sqlite3_stmt* statement, int column)
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return QByteArray(data, sqlite3_column_bytes(statement, column));
}

} // namespace

// A cached statement, bound for one use and reset afterwards.
class SqliteRegistry::Statement
{
public:
    Statement(SqliteRegistry& registry, const char* sql)
        : statement_(registry.prepared(sql))
        , prepareError_(statement_ == nullptr ? sqlite3_extended_errcode(registry.db_) : SQLITE_OK)
    {
    }
    ~Statement()
    {
        if (statement_ != nullptr) {
            sqlite3_reset(statement_);
            sqlite3_clear_bindings(statement_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return statement_ != nullptr; }
    Statement& bind(int index, qint64 value)
    {
        sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    Statement& bind(int index, const QByteArray& bytes)
    {
        bindBytes(statement_, index, bytes);
        return *this;
    }
    // A statement that did not prepare answers with the reason, such as a damaged file.
    int step() { return statement_ == nullptr ? prepareError_ : sqlite3_step(statement_); }
    sqlite3_stmt* get() const { return statement_; }

private:
    sqlite3_stmt* statement_;
    int prepareError_;
};

SqliteRegistry::SqliteRegistry(QString file, Mode mode)
    : file_(std::move(file))
    , mode_(mode)
{
}

SqliteRegistry::~SqliteRegistry()
{
    closeDatabase();
}

void SqliteRegistry::closeDatabase()
{
    for (const auto& entry : statements_)
        sqlite3_finalize(entry.second);
    statements_.clear();
    sqlite3_close(db_);
    db_ = nullptr;
}

QString SqliteRegistry::problem() const
{
    std::lock_guard lock(mutex_);
    return problem_;
}

std::int32_t SqliteRegistry::ensureOpen()
{
    if (db_ != nullptr)
        return Success;

    const QFileInfo info(file_);
    if (mode_ == Mode::ReadWrite && !info.exists()) {
        QDir().mkpath(info.absolutePath());
        // Created here, before SQLite, so that the hive and its journal files are private.
        const int fd = ::open(QFile::encodeName(file_).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }

    const QByteArray name = QFile::encodeName(file_);
    int rc = SQLITE_CANTOPEN;
    if (mode_ == Mode::ReadWrite)
        rc = sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        closeDatabase();
        rc = sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (rc != SQLITE_OK) {
        report(
            QStringLiteral("Cannot open the registry file %1: %2").arg(file_, QString::fromUtf8(sqlite3_errstr(rc))));
        closeDatabase();
        return IoFailed;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    readOnly_ = sqlite3_db_readonly(db_, "main") == 1;

    const std::int32_t result = createSchema();
    if (result != Success) {
        closeDatabase();
        return result;
    }
    problem_.clear();
    return Success;
}

std::int32_t SqliteRegistry::createSchema()
{
    // Reading the schema is the first access to the file's contents, so a
    // file that is no database at all shows here.
    int version = -1;
    int tables = -1;
    {
        Statement check(*this,
            "SELECT (SELECT user_version FROM pragma_user_version),"
            " (SELECT count(*) FROM sqlite_schema)");
        const int rc = check.step();
        if (rc != SQLITE_ROW)
            return fail(rc);
        version = sqlite3_column_int(check.get(), 0);
        tables = sqlite3_column_int(check.get(), 1);
    }
    if (version != SchemaVersion && !(version == 0 && tables == 0)) {
        report(QStringLiteral("The file %1 is not a registry hive of this program").arg(file_));
        return BadDatabase;
    }
    if (version == SchemaVersion) {
        if (!readOnly_)
            exec("PRAGMA journal_mode=WAL");
        return exec("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
    }
    if (readOnly_) {
        report(QStringLiteral("The registry file %1 is empty and cannot be written").arg(file_));
        return BadDatabase;
    }

    // WAL: readers never wait for a writer. synchronous=NORMAL: a commit
    // survives the process being killed; only a power cut may lose the last
    // ones, and the file stays consistent either way.
    std::int32_t result = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
    if (result != Success)
        return result;
    if ((result = exec("BEGIN IMMEDIATE")) != Success)
        return result;
    result = exec("CREATE TABLE IF NOT EXISTS keys("
                  " id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id),"
                  " name BLOB NOT NULL, path BLOB NOT NULL UNIQUE);"
                  "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, path);"
                  "CREATE TABLE IF NOT EXISTS vals("
                  " key INTEGER NOT NULL REFERENCES keys(id), fold BLOB NOT NULL, name BLOB NOT NULL,"
                  " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;"
                  "PRAGMA user_version=1");
    for (HKEY root = HKEY_CLASSES_ROOT; result == Success && isRoot(root); ++root) {
        Statement insert(*this, "INSERT OR IGNORE INTO keys(id, parent, name, path) VALUES(?1, NULL, ?2, ?3)");
        insert.bind(1, rootId(root)).bind(2, QByteArray(RootNames[root - HKEY_CLASSES_ROOT])).bind(3, rootPath(root));
        const int rc = insert.step();
        if (rc != SQLITE_DONE)
            result = fail(rc);
    }
    if (result != Success) {
        exec("ROLLBACK");
        return result;
    }
    return exec("COMMIT");
}

// Keeps why the hive cannot be used; said once on standard error, since
// callers only see a result code.
void SqliteRegistry::report(const QString& problem)
{
    if (problem != problem_)
        qWarning("%s", qPrintable(problem));
    problem_ = problem;
}

// Maps an SQLite failure to the registry's answer, noting why.
std::int32_t SqliteRegistry::fail(int sqliteCode)
{
    const QString detail
        = db_ != nullptr ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(sqliteCode));
    switch (sqliteCode & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return AccessDenied;
    case SQLITE_CONSTRAINT:
        return KeyDeleted;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        report(QStringLiteral("The registry file %1 is damaged: %2").arg(file_, detail));
        return BadDatabase;
    default:
        report(QStringLiteral("The registry file %1 cannot be used: %2").arg(file_, detail));
        return IoFailed;
    }
}

sqlite3_stmt* SqliteRegistry::prepared(const char* sql)
{
    const auto found = statements_.find(sql);
    if (found != statements_.end())
        return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
}

std::int32_t SqliteRegistry::exec(const char* sql)
{
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Success : fail(rc);
}

std::int32_t SqliteRegistry::lookup(HKEY handle, OpenKey& key) const
{
    if (isRoot(handle)) {
        key = { rootId(handle), rootPath(handle), KEY_ALL_ACCESS };
        return Success;
    }
    const auto found = handles_.find(handle);
    if (found == handles_.end())
        return InvalidHandle;
    key = found->second;
    return Success;
}

// The open key behind a handle, when the handle allows `needed` (and the hive writing).
std::int32_t SqliteRegistry::useKey(HKEY handle, std::uint32_t needed, bool writes, OpenKey& key)
{
    std::int32_t result = ensureOpen();
    if (result == Success)
        result = lookup(handle, key);
    if (result == Success && ((writes && readOnly_) || (key.access & needed) == 0))
        result = AccessDenied;
    return result;
}

std::int32_t SqliteRegistry::findKey(const QByteArray& path, qint64& id)
{
    Statement find(*this, "SELECT id FROM keys WHERE path = ?1");
    const int rc = find.bind(1, path).step();
    if (rc == SQLITE_ROW) {
        id = sqlite3_column_int64(find.get(), 0);
        return Success;
    }
    return rc == SQLITE_DONE ? FileNotFound : fail(rc);
}

std::int32_t SqliteRegistry::resolve(HKEY parent, const QByteArray& path, OpenKey& key, bool create, bool* created)
{
    std::int32_t result = ensureOpen();
    if (result == Success)
        result = lookup(parent, key);
    QByteArrayList parts;
    if (result == Success)
        result = splitPath(path, parts);
    if (result != Success || parts.isEmpty())
        return result;

    QByteArray target = key.path;
    for (const QByteArray& part : parts)
        target += '\\' + fold(part);
    result = findKey(target, key.id);
    if (result != FileNotFound || !create) {
        key.path = target;
        return result;
    }
    if (readOnly_ || (key.access & KEY_CREATE_SUB_KEY) == 0)
        return AccessDenied;

    if ((result = exec("BEGIN IMMEDIATE")) != Success)
        return result;
    bool madeAny = false;
    for (const QByteArray& part : parts) {
        const QByteArray childPath = key.path + '\\' + fold(part);
        Statement insert(*this, "INSERT INTO keys(parent, name, path) VALUES(?1, ?2, ?3) ON CONFLICT(path) DO NOTHING");
        const int rc = insert.bind(1, key.id).bind(2, part).bind(3, childPath).step();
        if (rc != SQLITE_DONE) {
            result = fail(rc);
            break;
        }
        madeAny = madeAny || sqlite3_changes(db_) > 0;
        key.path = childPath;
        if ((result = findKey(childPath, key.id)) != Success)
            break;
    }
    if (result != Success) {
        exec("ROLLBACK");
        return result;
    }
    if (created != nullptr)
        *created = madeAny;
    return exec("COMMIT");
}

HKEY SqliteRegistry::addHandle(const OpenKey& key)
{
    HKEY handle = nextHandle_++;
    // Handles never reach the predefined roots' range; wrapping round skips it.
    if (nextHandle_ >= HKEY_CLASSES_ROOT)
        nextHandle_ = 1;
    handles_.emplace(handle, key);
    return handle;
}

std::int32_t SqliteRegistry::openHandle(
    HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool create, bool* created)
{
    OpenKey key;
    const std::int32_t code = resolve(parent, path, key, create, created);
    if (code != Success)
        return code;
    if (isRoot(parent) && key.id == rootId(parent)) {
        result = parent;
        return Success;
    }
    key.access = access;
    result = addHandle(key);
    return Success;
}

std::int32_t SqliteRegistry::openKey(HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result)
{
    std::lock_guard lock(mutex_);
    return openHandle(parent, path, access, result, false, nullptr);
}

std::int32_t SqliteRegistry::createKey(
    HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool* created)
{
    std::lock_guard lock(mutex_);
    if (created != nullptr)
        *created = false;
    if (ensureOpen() == Success && readOnly_)
        return AccessDenied;
    return openHandle(parent, path, access, result, true, created);
}

std::int32_t SqliteRegistry::queryValue(
    HKEY handle, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size)
{
    std::lock_guard lock(mutex_);
    OpenKey key;
    const std::int32_t result = useKey(handle, KEY_QUERY_VALUE, false, key);
    if (result != Success)
        return result;
    if (data != nullptr && size == nullptr)
        return InvalidParameter;
    if (characterCount(name) > MaxValueNameLength)
        return InvalidParameter;

    // A size query leaves the data where it is: length() reads only the record header.
    Statement query(*this,
        data == nullptr ? "SELECT type, length(data) FROM vals WHERE key = ?1 AND fold = ?2"
                        : "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
    const int rc = query.bind(1, key.id).bind(2, fold(name)).step();
    if (rc == SQLITE_DONE) {
        if (type != nullptr)
            *type = REG_NONE;
        if (data == nullptr && size != nullptr)
            *size = 0;
        return FileNotFound;
    }
    if (rc != SQLITE_ROW)
        return fail(rc);

    if (type != nullptr)
        *type = std::uint32_t(sqlite3_column_int64(query.get(), 0));
    if (data == nullptr) {
        if (size != nullptr)
            *size = std::uint32_t(sqlite3_column_int64(query.get(), 1));
        return Success;
    }
    const void* stored = sqlite3_column_blob(query.get(), 1);
    const auto storedSize = std::uint32_t(sqlite3_column_bytes(query.get(), 1));
    const std::uint32_t room = *size;
    *size = storedSize;
    if (room < storedSize)
        return MoreData;
    if (storedSize > 0)
        std::memcpy(data, stored, storedSize);
    return Success;
}

std::int32_t SqliteRegistry::setValue(
    HKEY handle, const QByteArray& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size)
{
    std::lock_guard lock(mutex_);
    OpenKey key;
    const std::int32_t result = useKey(handle, KEY_SET_VALUE, true, key);
    if (result != Success)
        return result;
    if ((data == nullptr && size > 0) || characterCount(name) > MaxValueNameLength)
        return InvalidParameter;

    // One statement, so one committed transaction: a value is stored whole or not at all.
    Statement upsert(*this,
        "INSERT INTO vals(key, fold, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.bind(1, key.id).bind(2, fold(name)).bind(3, name).bind(4, qint64(type));
    upsert.bind(5, QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    const int rc = upsert.step();
    return rc == SQLITE_DONE ? Success : fail(rc);
}

std::int32_t SqliteRegistry::closeKey(HKEY handle)
{
    std::lock_guard lock(mutex_);
    if (isRoot(handle))
        return Success;
    return handles_.erase(handle) == 1 ? Success : InvalidHandle;
}

std::int32_t SqliteRegistry::deleteKey(HKEY parent, const QByteArray& path)
{
    std::lock_guard lock(mutex_);
    OpenKey key;
    std::int32_t result = resolve(parent, path, key, false, nullptr);
    if (result != Success)
        return result;
    if (readOnly_ || key.id <= RootCount)
        return AccessDenied;

    if ((result = exec("BEGIN IMMEDIATE")) != Success)
        return result;
    {
        Statement children(*this, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        const int rc = children.bind(1, key.id).step();
        result = rc == SQLITE_ROW ? AccessDenied : rc == SQLITE_DONE ? Success : fail(rc);
    }
    if (result == Success) {
        Statement values(*this, "DELETE FROM vals WHERE key = ?1");
        const int rc = values.bind(1, key.id).step();
        result = rc == SQLITE_DONE ? Success : fail(rc);
    }
    if (result == Success) {
        Statement remove(*this, "DELETE FROM keys WHERE id = ?1");
        const int rc = remove.bind(1, key.id).step();
        result = rc == SQLITE_DONE ? Success : fail(rc);
    }
    if (result != Success) {
        exec("ROLLBACK");
        return result;
    }
    return exec("COMMIT");
}

std::int32_t SqliteRegistry::deleteValue(HKEY handle, const QByteArray& name)
{
    std::lock_guard lock(mutex_);
    OpenKey key;
    const std::int32_t result = useKey(handle, KEY_SET_VALUE, true, key);
    if (result != Success)
        return result;
    Statement remove(*this, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    const int rc = remove.bind(1, key.id).bind(2, fold(name)).step();
    if (rc != SQLITE_DONE)
        return fail(rc);
    return sqlite3_changes(db_) > 0 ? Success : FileNotFound;
}

std::int32_t SqliteRegistry::enumKeys(HKEY handle, QByteArrayList& names)
{
    std::lock_guard lock(mutex_);
    names.clear();
    OpenKey key;
    const std::int32_t result = useKey(handle, KEY_ENUMERATE_SUB_KEYS, false, key);
    if (result != Success)
        return result;
    Statement list(*this, "SELECT name FROM keys WHERE parent = ?1 ORDER BY path");
    list.bind(1, key.id);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        names.append(columnBytes(list.get(), 0));
    return rc == SQLITE_DONE ? Success : fail(rc);
}

std::int32_t SqliteRegistry::enumValues(HKEY handle, std::vector<RegValue>& values)
{
    std::lock_guard lock(mutex_);
    values.clear();
    OpenKey key;
    const std::int32_t result = useKey(handle, KEY_QUERY_VALUE, false, key);
    if (result != Success)
        return result;
    Statement list(*this, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY fold");
    list.bind(1, key.id);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW) {
        values.push_back({ columnBytes(list.get(), 0), std::uint32_t(sqlite3_column_int64(list.get(), 1)),
            columnBytes(list.get(), 2) });
    }
    return rc == SQLITE_DONE ? Success : fail(rc);
}

} // namespace vorn
