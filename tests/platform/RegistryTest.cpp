// The hive answers as the Win32 registry does (measured on Wine, which
// follows Windows NT), and survives files it cannot write or read.
#include "platform/linux/SqliteRegistry.h"
#include "support/HiveAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorn;
using namespace vorn::reg;
using vorn::test::getRaw;
using vorn::test::storedRaw;
using vorn::test::storeRaw;

namespace
{

class Hive : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("sub/registry.db"));
    SqliteRegistry hive { file };

    HKEY create(const QByteArray& path, HKEY parent = HKEY_LOCAL_MACHINE)
    {
        HKEY key = 0;
        EXPECT_EQ(hive.createKey(parent, path, KEY_ALL_ACCESS, key), Success) << path.constData();
        return key;
    }
    std::int32_t open(const QByteArray& path, HKEY& key, std::uint32_t access = KEY_ALL_ACCESS)
    {
        return hive.openKey(HKEY_LOCAL_MACHINE, path, access, key);
    }
    std::int32_t set(HKEY key, const QByteArray& name, std::uint32_t type, const QByteArray& data)
    {
        return vorn::test::setRaw(hive, key, name, type, data);
    }
    std::pair<std::uint32_t, QByteArray> get(HKEY key, const QByteArray& name) { return getRaw(hive, key, name); }
};

TEST_F(Hive, PathsDropEmptyPartsAndRefuseALeadingBackslash)
{
    bool created = false;
    HKEY key = 0;
    ASSERT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, "A\\B\\", KEY_ALL_ACCESS, key, &created), Success);
    EXPECT_TRUE(created);
    ASSERT_EQ(set(key, "v", REG_SZ, QByteArray("x", 2)), Success);
    for (const char* same : { "A\\B", "A\\B\\", "A\\\\B", "a\\b" }) {
        HKEY other = 0;
        ASSERT_EQ(open(same, other), Success) << same;
        EXPECT_EQ(get(other, "v").second, QByteArray("x", 2)) << same;
        EXPECT_EQ(hive.closeKey(other), Success);
    }
    HKEY parent = 0;
    EXPECT_EQ(open("A", parent), Success);
    HKEY again = 0;
    EXPECT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, "a\\B", KEY_ALL_ACCESS, again, &created), Success);
    EXPECT_FALSE(created);

    EXPECT_EQ(open("\\A\\B", key), BadPathName);
    EXPECT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, "\\C", KEY_ALL_ACCESS, key), BadPathName);
    // The refused create made nothing.
    EXPECT_EQ(open("C", key), FileNotFound);
}

TEST_F(Hive, EmptyPathsAndClosingHandles)
{
    const HKEY a = create("A");
    HKEY sameKey = 0;
    ASSERT_EQ(hive.openKey(a, "", KEY_ALL_ACCESS, sameKey), Success);
    EXPECT_NE(sameKey, a);
    ASSERT_EQ(set(sameKey, "v", REG_DWORD, "1234"), Success);
    EXPECT_EQ(get(a, "v").second, "1234");

    EXPECT_EQ(hive.closeKey(HKEY_LOCAL_MACHINE), Success);
    HKEY key = 0;
    EXPECT_EQ(open("A", key), Success) << "a closed root stays usable";
    EXPECT_EQ(hive.closeKey(a), Success);
    EXPECT_EQ(hive.closeKey(a), InvalidHandle);
    EXPECT_EQ(hive.closeKey(0x1234567), InvalidHandle);
    EXPECT_EQ(set(a, "v", REG_SZ, "x"), InvalidHandle);
}

TEST_F(Hive, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    const HKEY key = create("Software\\MixedCase");
    create("SOFTWARE\\mixedcase\\Child");
    ASSERT_EQ(set(key, "Value", REG_DWORD, "1111"), Success);
    ASSERT_EQ(set(key, "VALUE", REG_SZ, "two"), Success);
    EXPECT_EQ(get(key, "vAlUe"), std::make_pair(REG_SZ, QByteArray("two")));

    std::vector<RegValue> values;
    ASSERT_EQ(hive.enumValues(key, values), Success);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Value");
    QByteArrayList names;
    ASSERT_EQ(hive.enumKeys(HKEY_LOCAL_MACHINE, names), Success);
    EXPECT_EQ(names, QByteArrayList { "Software" });
    ASSERT_EQ(hive.enumKeys(key, names), Success);
    EXPECT_EQ(names, QByteArrayList { "Child" });

    // Names compare as the registry compares them (measured on Wine): each
    // UTF-16 character upper-cased on its own where it has a case pair, no
    // case folding; bytes that are no UTF-8 compare apart from ASCII case.
    const struct {
        QByteArray written;
        QByteArray lookedUp;
        bool same;
    } comparisons[] = {
        { "Größe", "GRÖßE", true },
        { "Größe", "GRÖSSE", false },
        { "ÿǆꭰ", "ŸǄᎠ", true },
        { "ıx", "IX", false },
        { "\u212A", "k", false }, // the Kelvin sign
        { "ſ", "S", false },
        { "ς", "Σ", false },
        { "ǅ", "Ǆ", false }, // title case
        { "\U00010428", "\U00010400", false }, // outside UTF-16's first plane
        { "\xff\xfeX", "\xff\xfex", true },
    };
    int row = 0;
    for (const auto& [written, lookedUp, same] : comparisons) {
        const QByteArray parent = "Names" + QByteArray::number(++row) + '\\';
        const HKEY holder = create(parent + written);
        ASSERT_EQ(set(holder, written, REG_SZ, "v"), Success);
        HKEY found = 0;
        EXPECT_EQ(open(parent + lookedUp, found), same ? Success : FileNotFound) << written.constData();
        EXPECT_EQ(get(holder, lookedUp).first, same ? REG_SZ : 0xFFFFu) << written.constData();
    }

    // A backslash in a value name is part of the name, not a subkey.
    ASSERT_EQ(set(key, "sub\\name", REG_SZ, "c"), Success);
    EXPECT_EQ(get(key, "SUB\\NAME").second, "c");
    ASSERT_EQ(hive.enumKeys(key, names), Success);
    EXPECT_EQ(names, QByteArrayList { "Child" });
}

TEST_F(Hive, MissingKeysValuesAndTheDefaultValue)
{
    HKEY key = 0;
    EXPECT_EQ(open("Nowhere\\Deep", key), FileNotFound);
    key = create("K");

    std::uint32_t type = 77;
    std::uint32_t size = 99;
    EXPECT_EQ(hive.queryValue(key, "missing", &type, nullptr, &size), FileNotFound);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(hive.queryValue(key, QByteArray(), &type, nullptr, &size), FileNotFound);
    ASSERT_EQ(set(key, "", REG_SZ, QByteArray("default", 8)), Success);
    EXPECT_EQ(get(key, QByteArray()).second, QByteArray("default", 8));
    std::vector<RegValue> values;
    ASSERT_EQ(hive.enumValues(key, values), Success);
    EXPECT_EQ(values.size(), 1u);
}

TEST_F(Hive, SizesBuffersAndDataComeBackExactlyAsWritten)
{
    const HKEY key = create("Data");
    ASSERT_EQ(set(key, "s", REG_SZ, QByteArray("Hello", 6)), Success);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(hive.queryValue(key, "s", &type, nullptr, &size), Success);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);

    std::uint8_t small[3] = { 'x', 'x', 'x' };
    size = sizeof small;
    EXPECT_EQ(hive.queryValue(key, "s", &type, small, &size), MoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(small[0], 'x') << "nothing copied";
    EXPECT_EQ(hive.queryValue(key, "s", &type, small, nullptr), InvalidParameter);

    const std::pair<std::uint32_t, QByteArray> odd[] = {
        { REG_DWORD, QByteArray("\x01\x02\x03", 3) },
        { REG_DWORD, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8) },
        { REG_SZ, QByteArray() },
        { 0x12345678, QByteArray("\0\0a\0", 4) },
        { REG_MULTI_SZ, QByteArray("one\0two\0\0", 9) },
        { REG_BINARY, QByteArray(70000, '\xAB') },
        { REG_NONE, QByteArray() },
    };
    for (const auto& [valueType, data] : odd) {
        ASSERT_EQ(set(key, "odd", valueType, data), Success);
        EXPECT_EQ(get(key, "odd"), std::make_pair(valueType, data)) << valueType;
    }
    EXPECT_EQ(hive.setValue(key, "null", REG_BINARY, nullptr, 4), InvalidParameter);
    EXPECT_EQ(hive.setValue(key, "null", REG_BINARY, nullptr, 0), Success);
}

TEST_F(Hive, NameLengthLimits)
{
    HKEY key = 0;
    EXPECT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, QByteArray(255, 'k'), KEY_ALL_ACCESS, key), Success);
    EXPECT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, "ok\\" + QByteArray(256, 'k'), KEY_ALL_ACCESS, key), InvalidParameter);
    EXPECT_EQ(open(QByteArray(256, 'k'), key), InvalidParameter);
    key = create("Limits");
    EXPECT_EQ(set(key, QByteArray(16383, 'v'), REG_SZ, "x"), Success);
    EXPECT_EQ(set(key, QByteArray(16384, 'v'), REG_SZ, "x"), InvalidParameter);
}

TEST_F(Hive, AccessRightsAndDeletion)
{
    create("Tree\\Leaf");
    HKEY readOnly = 0;
    ASSERT_EQ(open("Tree", readOnly, KEY_READ), Success);
    EXPECT_EQ(set(readOnly, "v", REG_SZ, "x"), AccessDenied);
    HKEY child = 0;
    EXPECT_EQ(hive.createKey(readOnly, "New", KEY_ALL_ACCESS, child), AccessDenied);
    EXPECT_EQ(hive.createKey(readOnly, "leaf", KEY_ALL_ACCESS, child), Success) << "an existing key just opens";

    HKEY writeOnly = 0;
    ASSERT_EQ(open("Tree", writeOnly, KEY_SET_VALUE), Success);
    std::uint32_t size = 0;
    EXPECT_EQ(hive.queryValue(writeOnly, "v", nullptr, nullptr, &size), AccessDenied);

    EXPECT_EQ(hive.deleteKey(HKEY_LOCAL_MACHINE, "Tree"), AccessDenied) << "no recursive delete";
    EXPECT_EQ(hive.deleteKey(HKEY_LOCAL_MACHINE, ""), AccessDenied) << "roots stay";
    EXPECT_EQ(hive.deleteKey(HKEY_LOCAL_MACHINE, "Tree\\Leaf"), Success);
    EXPECT_EQ(set(child, "v", REG_SZ, "x"), KeyDeleted);
    EXPECT_EQ(hive.deleteKey(HKEY_LOCAL_MACHINE, "Tree"), Success);
    HKEY gone = 0;
    EXPECT_EQ(open("Tree", gone), FileNotFound);
}

TEST_F(Hive, FileIsPrivateAndSharedBetweenConnections)
{
    const HKEY key = create("Shared");
    ASSERT_EQ(set(key, "v", REG_DWORD, "abcd"), Success);
    struct stat info {
    };
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(file + QStringLiteral("-wal")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the journal holds the same data";

    SqliteRegistry second(file);
    EXPECT_EQ(storedRaw(second, "shared", "V").second, "abcd");
}

TEST_F(Hive, ReadOnlyHiveRefusesWritesButReads)
{
    auto check = [](SqliteRegistry& readOnly) {
        HKEY handle = 0;
        EXPECT_EQ(readOnly.createKey(HKEY_LOCAL_MACHINE, "Settings", KEY_ALL_ACCESS, handle), AccessDenied);
        EXPECT_EQ(readOnly.createKey(HKEY_LOCAL_MACHINE, "Other", KEY_ALL_ACCESS, handle), AccessDenied);
        EXPECT_EQ(storeRaw(readOnly, "", "v", REG_SZ, "x"), AccessDenied);
        EXPECT_EQ(storedRaw(readOnly, "Settings", "v").second, "kept");
    };
    ASSERT_EQ(storeRaw(hive, "Settings", "v", REG_SZ, "kept"), Success);
    {
        SqliteRegistry whileInUse(file, SqliteRegistry::Mode::ReadOnly);
        check(whileInUse);
    }
    // With no writer left the journal files are gone; reading must still work.
    const QString copy = dir.filePath(QStringLiteral("copy.db"));
    {
        SqliteRegistry writer(copy);
        ASSERT_EQ(storeRaw(writer, "Settings", "v", REG_SZ, "kept"), Success);
    }
    ASSERT_FALSE(QFile::exists(copy + QStringLiteral("-wal")));
    SqliteRegistry alone(copy, SqliteRegistry::Mode::ReadOnly);
    check(alone);

    if (::geteuid() != 0) { // root writes whatever the mode bits say
        ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
        SqliteRegistry unwritable(file);
        check(unwritable);
    }
}

TEST_F(Hive, DamagedOrForeignFilesGiveAClearError)
{
    QTemporaryDir other;
    auto expectRefused = [](const QString& path, const char* why) {
        SqliteRegistry broken(path);
        HKEY key = 0;
        EXPECT_EQ(broken.createKey(HKEY_LOCAL_MACHINE, "A", KEY_ALL_ACCESS, key), BadDatabase) << why;
        EXPECT_EQ(broken.openKey(HKEY_LOCAL_MACHINE, "A", KEY_ALL_ACCESS, key), BadDatabase) << why;
        EXPECT_TRUE(broken.problem().contains(path)) << broken.problem().toStdString();
    };

    const QString garbage = other.filePath(QStringLiteral("garbage.db"));
    QFile out(garbage);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(8192, '\x5A'));
    out.close();
    expectRefused(garbage, "not a database");
    EXPECT_TRUE(SqliteRegistry(garbage).problem().isEmpty()) << "nothing known before first use";

    const QString foreign = other.filePath(QStringLiteral("foreign.db"));
    {
        SqliteRegistry make(foreign);
        HKEY key = 0;
        make.openKey(HKEY_LOCAL_MACHINE, "", KEY_READ, key);
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral("sqlite3"), { foreign, QStringLiteral("PRAGMA user_version=7") }), 0);
    expectRefused(foreign, "another program's database");
}

TEST_F(Hive, TruncatedFileNeverCrashes)
{
    const QString whole = dir.filePath(QStringLiteral("whole.db"));
    {
        // Closing the last connection moves everything into the file itself.
        SqliteRegistry writer(whole);
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(storeRaw(writer, "Big", "v" + QByteArray::number(i), REG_BINARY, QByteArray(1000, char(i))), 0);
    }
    const QString copy = dir.filePath(QStringLiteral("cut.db"));
    ASSERT_TRUE(QFile::copy(whole, copy));
    QFile cut(copy);
    ASSERT_TRUE(cut.resize(cut.size() / 2));

    SqliteRegistry broken(copy);
    int lost = 0;
    for (int i = 0; i < 200; ++i)
        lost += storedRaw(broken, "Big", "v" + QByteArray::number(i)).first == 0xFFFF;
    EXPECT_GT(lost, 0) << "half the pages are gone";
    EXPECT_TRUE(broken.problem().contains(QStringLiteral("damaged"))) << broken.problem().toStdString();
}

TEST_F(Hive, DeepNestingCostsTheSameEveryLevel)
{
    // Each key holds its own name only, not its whole path.
    QByteArray path = "k";
    for (int depth = 1; depth < 3000; ++depth)
        path += "\\k";
    const HKEY deepest = create(path);
    ASSERT_EQ(set(deepest, "v", REG_DWORD, "abcd"), Success);
    EXPECT_EQ(storedRaw(hive, path.toUpper(), "V").second, "abcd");
    const auto bytes = QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size();
    EXPECT_LT(bytes, 3000 * 100) << "bytes per key: " << bytes / 3000;
}

TEST_F(Hive, AFailedCommitIsRolledBack)
{
    // A table whose deferred constraint every new key breaks makes COMMIT
    // fail while SQLite leaves the transaction open.
    create("Ready");
    ASSERT_EQ(QProcess::execute(QStringLiteral("sqlite3"),
                  { file,
                      QStringLiteral("CREATE TABLE target(id INTEGER PRIMARY KEY);"
                                     "CREATE TABLE breaker(id REFERENCES target(id) DEFERRABLE INITIALLY DEFERRED);"
                                     "CREATE TRIGGER break_commit AFTER INSERT ON keys BEGIN"
                                     " INSERT INTO breaker VALUES(42); END;") }),
        0);
    HKEY key = 0;
    EXPECT_NE(hive.createKey(HKEY_LOCAL_MACHINE, "Doomed", KEY_ALL_ACCESS, key), Success);

    // The write lock is free again, and later writes last.
    ASSERT_EQ(QProcess::execute(QStringLiteral("sqlite3"),
                  { QStringLiteral("-cmd"), QStringLiteral(".timeout 2000"), file,
                      QStringLiteral("DROP TRIGGER break_commit") }),
        0);
    ASSERT_EQ(storeRaw(hive, "Ready", "v", REG_SZ, "kept"), Success);
    SqliteRegistry other(file);
    EXPECT_EQ(storedRaw(other, "Ready", "v").second, "kept");
    EXPECT_EQ(storedRaw(other, "Doomed", "v").first, 0xFFFFu);
}

TEST_F(Hive, OlderHivesAreUpgradedInPlace)
{
    // The first layout: whole folded paths, names compared case-folded.
    auto older = [this](const QString& name, const char* rows) {
        const QString path = dir.filePath(name);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        const QByteArray sql
            = QByteArray(
                  "PRAGMA journal_mode=WAL;"
                  "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id),"
                  " name BLOB NOT NULL, path BLOB NOT NULL UNIQUE);"
                  "CREATE INDEX keys_by_parent ON keys(parent, path);"
                  "CREATE TABLE vals(key INTEGER NOT NULL REFERENCES keys(id), fold BLOB NOT NULL,"
                  " name BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT "
                  "ROWID;"
                  "INSERT INTO keys VALUES(1, NULL, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
                  " (2, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user'), (3, NULL, 'HKEY_LOCAL_MACHINE', "
                  "'hkey_local_machine'),"
                  " (4, NULL, 'HKEY_USERS', 'hkey_users'), (5, NULL, 'HKEY_PERFORMANCE_DATA', 'hkey_performance_data'),"
                  " (6, NULL, 'HKEY_CURRENT_CONFIG', 'hkey_current_config'), (7, NULL, 'HKEY_DYN_DATA', "
                  "'hkey_dyn_data');")
            + rows + "PRAGMA user_version=1";
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        return path;
    };
    SqliteRegistry upgraded(older(QStringLiteral("older.db"),
        "INSERT INTO keys VALUES(8, 3, 'Software', 'hkey_local_machine\\software'),"
        " (9, 8, 'Größe', 'hkey_local_machine\\software\\grösse');"
        "INSERT INTO vals VALUES(9, 'accesses', 'Accesses', 4, x'2a000000');"));
    EXPECT_EQ(storedRaw(upgraded, "SOFTWARE\\GRÖßE", "accesses"), std::make_pair(REG_DWORD, QByteArray("*\0\0\0", 4)));
    EXPECT_EQ(storedRaw(upgraded, "SOFTWARE\\GRÖSSE", "accesses").first, 0xFFFFu);
    EXPECT_EQ(storeRaw(upgraded, "Software\\Größe\\New", "x", REG_SZ, "y"), Success);

    // Two keys that now compare equal (made by hand): refused, not merged.
    const QString clash = older(QStringLiteral("clash.db"),
        "INSERT INTO keys VALUES(8, 3, 'ix', 'hkey_local_machine\\ix'), (9, 3, 'IX', 'hkey_local_machine\\ix_');");
    SqliteRegistry refused(clash);
    HKEY key = 0;
    EXPECT_EQ(refused.openKey(HKEY_LOCAL_MACHINE, "ix", KEY_READ, key), BadDatabase);
    EXPECT_TRUE(refused.problem().contains(clash)) << refused.problem().toStdString();
}

} // namespace
