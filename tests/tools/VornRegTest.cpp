// vorn-reg against a real hive file: export, import, and refusing bad text.
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

class VornReg : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    vorn::test::RunResult run(const QStringList& args, const QString& hive = QString())
    {
        qputenv("VORN_REGISTRY", (hive.isEmpty() ? dir.filePath(QStringLiteral("registry.db")) : hive).toUtf8());
        return vorn::test::runProgram(vorn::test::binPath(QStringLiteral("vorn-reg")), args);
    }
    QString write(const QString& name, const QByteArray& text)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
};

// Every kind of value, also a seed of the REGEDIT4 parser's fuzz target.
QString everyKind()
{
    return vorn::test::sourcePath(QStringLiteral("tests/fuzz/seeds/regtext/every-kind.reg"));
}

TEST_F(VornReg, ImportExportRoundTripKeepsEveryType)
{
    const auto imported = run({ QStringLiteral("import"), everyKind() });
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();

    const auto exported = run({ QStringLiteral("export") });
    ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();
    EXPECT_TRUE(exported.out.startsWith("REGEDIT4\n\n"));
    EXPECT_TRUE(exported.out.contains("\"Accesses\"=dword:0000002a\n"));
    EXPECT_TRUE(exported.out.contains("\"Short dword\"=hex(4):01,02\n"));
    EXPECT_TRUE(exported.out.contains("\"Empty\"=\"\"\n"));
    EXPECT_TRUE(exported.out.contains("\"Binary\"=hex:00,ff,10\n"));
    EXPECT_TRUE(exported.out.contains("\"Escapes\"=hex(1):61,0a,62,0d,63,71,00\n"));
    EXPECT_TRUE(exported.out.contains("16,17,18,19,1a,1b,1c,1d,1e,1f\n"));
    EXPECT_TRUE(exported.out.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n"));

    // The export, imported into a new hive, exports the same again.
    const QString copy = dir.filePath(QStringLiteral("copy.db"));
    const auto reimported = run({ QStringLiteral("import"), write(QStringLiteral("back.reg"), exported.out) }, copy);
    ASSERT_EQ(reimported.exitCode, 0) << reimported.err.constData();
    EXPECT_EQ(run({ QStringLiteral("export") }, copy).out, exported.out);

    const auto one = run({ QStringLiteral("export"), QStringLiteral("hkcu\\OTHER") });
    ASSERT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out, QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\OTHER]\n\"x\"=dword:ffffffff\n\n"));

    // Deletion lines remove keys with all below them, and values.
    const QByteArray removal = "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix]\n"
                               "[HKEY_CURRENT_USER\\Other]\n\"x\"=-\n\"never there\"=-\n";
    ASSERT_EQ(run({ QStringLiteral("import"), write(QStringLiteral("rm.reg"), removal) }).exitCode, 0);
    EXPECT_EQ(run({ QStringLiteral("export") }).out.toStdString(),
        "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Other]\n\n"
        "[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n");
}

TEST_F(VornReg, BadInputIsRefusedWholeWithItsLine)
{
    const std::pair<QByteArray, const char*> cases[] = {
        { "[HKEY_LOCAL_MACHINE\\A]\n", ":1: the text does not start with REGEDIT4" },
        { "REGEDIT4\n\"v\"=dword:1\n", ":2: a value line outside a key section" },
        { "REGEDIT4\n[HKEY_NOWHERE\\A]\n", ":2: unknown root key" },
        { "REGEDIT4\n[HKLM\\A]\n\"v\"=dword:123456789\n", ":3: dword:" },
        { "REGEDIT4\n[HKLM\\A]\n\"v\"=hex:1,xyz\n", ":3: hex bytes" },
        { "REGEDIT4\n[HKLM\\A]\n\"v\"=\"open\n", ":3: badly quoted" },
        { "REGEDIT4\n[HKLM\\A]\n\"v\"=hex(zz):00\n", ":3: hex(N)" },
        { "REGEDIT4\n[HKLM\\A]\n\"v\" 5\n", ":3: '=' expected" },
        { "REGEDIT4\n[HKLM\\A\n", ":2: a key line ends with ']'" },
        // The hive's limits, checked before anything is written.
        { "REGEDIT4\n[HKLM\\A\\" + QByteArray(256, 'k') + "]\n", ":2: a key name is longer than 255" },
        { "REGEDIT4\n[HKLM\\A]\n\"" + QByteArray(16384, 'v') + "\"=dword:1\n", ":3: a value name is longer" },
        { "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\A]\n", ":2: a key path starts with a backslash" },
        { "REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n", ":2: a root key cannot be deleted" },
        { QByteArray("\xFF\xFEW\0i", 5), ":1: the text is not valid UTF-16LE" },
    };
    for (const auto& [text, message] : cases) {
        const QString file = write(QStringLiteral("bad.reg"), text);
        const auto result = run({ QStringLiteral("import"), file });
        EXPECT_EQ(result.exitCode, 1) << message;
        EXPECT_TRUE(result.err.contains(message)) << result.err.constData();
    }
    // Nothing of a refused file was written, not even its good first part.
    ASSERT_EQ(run({ QStringLiteral("import"), everyKind() }).exitCode, 0);
    const QByteArray before = run({ QStringLiteral("export") }).out;
    for (const QByteArray& last : { QByteArray("\"v\"=what"), "[HKLM\\" + QByteArray(256, 'k') + ']' }) {
        const QByteArray halfBad = "REGEDIT4\n[-HKLM\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n"
                                   "[HKCU\\Other]\n\"x\"=dword:0\n[HKLM\\Good]\n"
            + last + '\n';
        EXPECT_EQ(run({ QStringLiteral("import"), write(QStringLiteral("half.reg"), halfBad) }).exitCode, 1);
        EXPECT_EQ(run({ QStringLiteral("export") }).out, before);
    }

    EXPECT_EQ(run({ QStringLiteral("import"), dir.filePath(QStringLiteral("missing.reg")) }).exitCode, 1);
    EXPECT_EQ(run({ QStringLiteral("frobnicate") }).exitCode, 2);
    EXPECT_EQ(run({ QStringLiteral("export"), QStringLiteral("HKLM\\Nowhere") }).exitCode, 1);
}

TEST_F(VornReg, FailuresAreOneLineNamingTheFileOrKey)
{
    const QString broken = write(QStringLiteral("broken.db"), QByteArray(4096, '\x42'));
    const QString folder = dir.filePath(QStringLiteral("folder.db"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString good = write(QStringLiteral("good.reg"), "REGEDIT4\n[HKLM\\A]\n");
    const struct {
        QStringList args;
        QString hive;
        QString message;
    } cases[] = {
        { { QStringLiteral("export") }, broken,
            QStringLiteral("cannot export the hive: the registry file %1 is damaged").arg(broken) },
        { { QStringLiteral("export"), QStringLiteral("HKLM\\A") }, broken, broken + QStringLiteral(" is damaged") },
        { { QStringLiteral("import"), good }, broken,
            QStringLiteral("nothing imported from %1: the registry file %2 is damaged").arg(good, broken) },
        { { QStringLiteral("export") }, folder, folder + QStringLiteral(": it is a folder") },
        { { QStringLiteral("import"), good }, folder, folder + QStringLiteral(": it is a folder") },
        { { QStringLiteral("export"), QStringLiteral("HKLM\\Nowhere") }, {},
            QStringLiteral("cannot export HKLM\\Nowhere: no such key") },
    };
    for (const auto& [args, hive, message] : cases) {
        const auto result = run(args, hive);
        EXPECT_EQ(result.exitCode, 1) << message.toStdString();
        EXPECT_TRUE(QString::fromUtf8(result.err).contains(message)) << result.err.constData();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.constData();
        EXPECT_TRUE(result.err.endsWith('\n')) << result.err.constData();
        EXPECT_TRUE(result.out.isEmpty());
    }
}

} // namespace

namespace
{

TEST_F(VornReg, Version5TextInUtf8OrUtf16)
{
    const QString body = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Größe]\r\n"
                                        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n\"Text\"=\"Ελλάδα\"\r\n\r\n");
    QByteArray utf16 = "\xFF\xFE";
    utf16.append(reinterpret_cast<const char*>(body.utf16()), body.size() * 2);
    const QByteArray expected = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Größe]\n\"Expand\"=hex(2):25,41,25,00\n"
                                "\"Text\"=\"Ελλάδα\"\n\n";
    for (const QByteArray& text : { body.toUtf8(), "\xEF\xBB\xBF" + body.toUtf8(), utf16 }) {
        const QString hive = dir.filePath(QStringLiteral("v5-%1.db").arg(text.size()));
        const auto imported = run({ QStringLiteral("import"), write(QStringLiteral("v5.reg"), text) }, hive);
        ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
        EXPECT_EQ(run({ QStringLiteral("export"), QStringLiteral("HKCU\\Größe") }, hive).out, expected);
        // Written back as regedit writes it: the same bytes.
        const QString out = dir.filePath(QStringLiteral("out.reg"));
        ASSERT_EQ(run({ QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("5"), QStringLiteral("-o"),
                          out, QStringLiteral("HKCU\\Größe") },
                      hive)
                      .exitCode,
            0);
        QFile written(out);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), utf16);
    }
    const auto odd = run({ QStringLiteral("import"),
        write(QStringLiteral("odd.reg"), "Windows Registry Editor Version 5.00\n[HKCU\\A]\n\"x\"=hex(2):41\n") });
    EXPECT_TRUE(odd.err.contains(":3: hex(2): data must be UTF-16LE")) << odd.err.constData();
}

} // namespace
