// The hive answers as the Win32 registry does (measured on Wine, which
// follows Windows NT), and survives files it cannot write or read.
#include "platform/linux/SqliteRegistry.h"
#include "support/HiveAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

using namespace vorn;
using namespace vorn::reg;
using vorn::test::getRaw;
using vorn::test::setRaw;
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

    HKEY create(const QByteArray& path)
    {
        HKEY key = 0;
        EXPECT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key), Success) << path.constData();
        return key;
    }
    std::int32_t open(const QByteArray& path, HKEY& key, std::uint32_t access = KEY_ALL_ACCESS)
    {
        return hive.openKey(HKEY_LOCAL_MACHINE, path, access, key);
    }
};

TEST_F(Hive, PathsHandlesRightsAndDeletionBehaveAsInTheRegistry)
{
    HKEY key = 0;
    ASSERT_EQ(hive.createKey(HKEY_LOCAL_MACHINE, "A\\B\\", KEY_ALL_ACCESS, key), Success);
    ASSERT_EQ(setRaw(hive, key, "v", REG_SZ, "x"), Success);
    // Empty parts are dropped and case is ignored.
    for (const char* same : { "A\\B", "A\\\\B", "a\\b" })
        EXPECT_EQ(storedRaw(hive, same, "v").second, "x") << same;
    // An empty path opens a new handle to the same key.
    HKEY same = 0;
    ASSERT_EQ(hive.openKey(key, "", KEY_ALL_ACCESS, same), Success);
    EXPECT_NE(same, key);
    EXPECT_EQ(getRaw(hive, same, "v").second, "x");

    EXPECT_EQ(hive.closeKey(HKEY_LOCAL_MACHINE), Success);
    EXPECT_EQ(open("A", same), Success) << "a closed root stays usable";
    EXPECT_EQ(hive.closeKey(key), Success);
    EXPECT_EQ(hive.closeKey(key), InvalidHandle);
    EXPECT_EQ(setRaw(hive, key, "v", REG_SZ, "x"), InvalidHandle);

    EXPECT_EQ(open("\\A\\B", key), BadPathName);
    EXPECT_EQ(storeRaw(hive, "\\C", "v", REG_SZ, "x"), BadPathName);
    EXPECT_EQ(open("C", key), FileNotFound) << "the refused create made nothing";
    EXPECT_EQ(storeRaw(hive, QByteArray(255, 'k'), "v", REG_SZ, "x"), Success);
    EXPECT_EQ(storeRaw(hive, "ok\\" + QByteArray(256, 'k'), "v", REG_SZ, "x"), InvalidParameter);
    EXPECT_EQ(open(QByteArray(256, 'k'), key), InvalidParameter);

    create("Tree\\Leaf");
    HKEY readOnly = 0;
    ASSERT_EQ(open("Tree", readOnly, KEY_READ), Success);
    EXPECT_EQ(setRaw(hive, readOnly, "v", REG_SZ, "x"), AccessDenied);
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
    EXPECT_EQ(setRaw(hive, child, "v", REG_SZ, "x"), KeyDeleted);
    EXPECT_EQ(hive.deleteKey(HKEY_LOCAL_MACHINE, "Tree"), Success);
    EXPECT_EQ(open("Tree", child), FileNotFound);
}

TEST_F(Hive, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    const HKEY key = create("Software\\MixedCase");
    create("SOFTWARE\\mixedcase");
    ASSERT_EQ(setRaw(hive, key, "Value", REG_DWORD, "1111"), Success);
    ASSERT_EQ(setRaw(hive, key, "VALUE", REG_SZ, "two"), Success);
    EXPECT_EQ(getRaw(hive, key, "vAlUe"), std::make_pair(REG_SZ, QByteArray("two")));

    std::vector<RegValue> values;
    ASSERT_EQ(hive.enumValues(key, values), Success);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Value");
    QByteArrayList names;
    ASSERT_EQ(hive.enumKeys(HKEY_LOCAL_MACHINE, names), Success);
    EXPECT_EQ(names, QByteArrayList { "Software" });
    // A backslash in a value name is part of the name, not a subkey.
    ASSERT_EQ(setRaw(hive, key, "sub\\name", REG_SZ, "c"), Success);
    EXPECT_EQ(getRaw(hive, key, "SUB\\NAME").second, "c");
    ASSERT_EQ(hive.enumKeys(key, names), Success);
    EXPECT_TRUE(names.isEmpty());

    // Names compare as the registry compares them (measured on Wine): each
    // UTF-16 character upper-cased on its own where it has a case pair, no
    // case folding; bytes that are no UTF-8 compare apart from ASCII case.
    const struct {
        QByteArray written;
        QByteArray lookedUp;
        bool same;
    } comparisons[] = {
        { "Größe", "GRÖSSE", false },
        { "ÿǆꭰ", "ŸǄᎠ", true },
        { "ıx", "IX", false },
        { "\u212A", "k", false }, // the Kelvin sign
        { "\U00010428", "\U00010400", false }, // outside UTF-16's first plane
        { "\xff\xfeX", "\xff\xfex", true },
    };
    int row = 0;
    for (const auto& [written, lookedUp, same] : comparisons) {
        const QByteArray parent = "Names" + QByteArray::number(++row) + '\\';
        const HKEY holder = create(parent + written);
        ASSERT_EQ(setRaw(hive, holder, written, REG_SZ, "v"), Success);
        HKEY found = 0;
        EXPECT_EQ(open(parent + lookedUp, found), same ? Success : FileNotFound) << written.constData();
        EXPECT_EQ(getRaw(hive, holder, lookedUp).first, same ? REG_SZ : 0xFFFFu) << written.constData();
    }
}

TEST_F(Hive, ValuesComeBackExactlyAsWritten)
{
    const HKEY key = create("Data");
    EXPECT_EQ(getRaw(hive, key, QByteArray()).first, 0xFFFFu) << "no default value until one is set";

    const struct {
        QByteArray name;
        std::uint32_t type;
        QByteArray data;
    } values[] = {
        { "", REG_SZ, QByteArray("default", 8) },
        { "short", REG_DWORD, QByteArray("\x01\x02\x03", 3) },
        { "empty", REG_SZ, QByteArray() },
        { "unknown type", 0x12345678, QByteArray("\0\0a\0", 4) },
        { "big", REG_BINARY, QByteArray(70000, '\xAB') },
        { QByteArray(16383, 'v'), REG_SZ, "longest name" },
    };
    for (const auto& value : values) {
        ASSERT_EQ(setRaw(hive, key, value.name, value.type, value.data), Success) << value.name.left(20).constData();
        EXPECT_EQ(getRaw(hive, key, value.name), std::make_pair(value.type, value.data))
            << value.name.left(20).constData();
    }
    std::vector<RegValue> listed;
    ASSERT_EQ(hive.enumValues(key, listed), Success);
    EXPECT_EQ(listed.size(), std::size(values));
    // A short buffer: Store.ValueChangedByAnotherProcessBetweenSizeAndRead.
    std::uint8_t buffer = 0;
    EXPECT_EQ(hive.queryValue(key, "short", nullptr, &buffer, nullptr), InvalidParameter) << "data without its size";

    EXPECT_EQ(setRaw(hive, key, QByteArray(16384, 'v'), REG_SZ, "x"), InvalidParameter);
    EXPECT_EQ(hive.setValue(key, "null", REG_BINARY, nullptr, 4), InvalidParameter);
    EXPECT_EQ(hive.setValue(key, "null", REG_BINARY, nullptr, 0), Success);
}

TEST_F(Hive, DeepNestingCostsTheSameEveryLevel)
{
    // Each key holds its own name only, not its whole path.
    QByteArray path = "k";
    for (int depth = 1; depth < 3000; ++depth)
        path += "\\k";
    ASSERT_EQ(setRaw(hive, create(path), "v", REG_DWORD, "abcd"), Success);
    EXPECT_EQ(storedRaw(hive, path.toUpper(), "V").second, "abcd");
    const auto bytes = QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size();
    EXPECT_LT(bytes, 3000 * 100) << "bytes per key: " << bytes / 3000;
}

TEST_F(Hive, ReadOnlyHiveRefusesWritesButReads)
{
    auto check = [](SqliteRegistry& readOnly) {
        HKEY handle = 0;
        EXPECT_EQ(readOnly.createKey(HKEY_LOCAL_MACHINE, "Settings", KEY_ALL_ACCESS, handle), AccessDenied);
        EXPECT_EQ(storeRaw(readOnly, "", "v", REG_SZ, "x"), AccessDenied);
        EXPECT_EQ(storedRaw(readOnly, "Settings", "v").second, "kept");
    };
    ASSERT_EQ(storeRaw(hive, "Settings", "v", REG_SZ, "kept"), Success);
    // The file and its journal hold the user's data: private.
    for (const QString& path : { file, file + QStringLiteral("-wal") })
        EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
            << path.toStdString();
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
    // Garbage instead of a hive: WizardTest.AHiveThatCannotBeUsedIsNamedAtStartUp.
    const QString foreign = dir.filePath(QStringLiteral("foreign.db"));
    {
        SqliteRegistry make(foreign);
        ASSERT_EQ(storeRaw(make, "A", "v", REG_SZ, "x"), Success);
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral("sqlite3"), { foreign, QStringLiteral("PRAGMA user_version=7") }), 0);
    SqliteRegistry other(foreign);
    HKEY key = 0;
    EXPECT_EQ(other.openKey(HKEY_LOCAL_MACHINE, "A", KEY_ALL_ACCESS, key), BadDatabase) << "another program's";
    EXPECT_TRUE(other.problem().contains(foreign)) << other.problem().toStdString();

    // Half the pages of a written hive cut off: reads fail and say why, nothing crashes.
    const QString whole = dir.filePath(QStringLiteral("whole.db"));
    {
        // Closing the last connection moves everything into the file itself.
        SqliteRegistry writer(whole);
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(storeRaw(writer, "Big", "v" + QByteArray::number(i), REG_BINARY, QByteArray(1000, char(i))), 0);
    }
    QFile cut(whole);
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    SqliteRegistry broken(whole);
    int lost = 0;
    for (int i = 0; i < 200; ++i)
        lost += storedRaw(broken, "Big", "v" + QByteArray::number(i)).first == 0xFFFF;
    EXPECT_GT(lost, 0);
    EXPECT_TRUE(broken.problem().contains(QStringLiteral("damaged"))) << broken.problem().toStdString();
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
    EXPECT_NE(storeRaw(hive, "Doomed", "v", REG_SZ, "x"), Success);

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

TEST_F(Hive, ConnectionsWritingAtOnceLoseNothing)
{
    // A fresh file: the writers also race to create the hive itself.
    const QString fresh = dir.filePath(QStringLiteral("new/registry.db"));
    constexpr int perWriter = 400;
    auto write = [&](const QByteArray& prefix) {
        SqliteRegistry own(fresh);
        for (int i = 0; i < perWriter; ++i) {
            const QByteArray number = QByteArray::number(i);
            ASSERT_EQ(storeRaw(own, "Shared\\Key", prefix + number, REG_SZ, number), Success) << prefix.constData();
        }
    };
    {
        const std::jthread first(write, "a");
        const std::jthread second(write, "b");
    }
    SqliteRegistry reader(fresh);
    for (int i = 0; i < perWriter; ++i) {
        for (const QByteArray prefix : { "a", "b" })
            EXPECT_EQ(storedRaw(reader, "Shared\\Key", prefix + QByteArray::number(i)).second, QByteArray::number(i));
    }
}

TEST_F(Hive, OlderHivesAreUpgradedInPlace)
{
    // The first layout: whole folded paths, names compared case-folded.
    auto older = [this](const QString& name, const char* rows) {
        const QString path = dir.filePath(name);
        const QByteArray sql = "PRAGMA journal_mode=WAL;"
                               "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id),"
                               " name BLOB NOT NULL, path BLOB NOT NULL UNIQUE);"
                               "CREATE INDEX keys_by_parent ON keys(parent, path);"
                               "CREATE TABLE vals(key INTEGER NOT NULL REFERENCES keys(id), fold BLOB NOT NULL,"
                               " name BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
                               " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
                               "INSERT INTO keys VALUES(3, NULL, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');"
            + QByteArray(rows) + "PRAGMA user_version=1";
        EXPECT_EQ(QProcess::execute(QStringLiteral("sqlite3"), { path, QString::fromUtf8(sql) }), 0);
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
