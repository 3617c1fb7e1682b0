// vorn-reg against a real hive file: export, import, and refusing bad text.
#include "support/TestSupport.h"

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
    EXPECT_TRUE(exported.out.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n"));

    // The export, imported into a new hive, exports the same again.
    const QString copy = dir.filePath(QStringLiteral("copy.db"));
    const auto reimported = run({ QStringLiteral("import"), write(QStringLiteral("back.reg"), exported.out) }, copy);
    ASSERT_EQ(reimported.exitCode, 0) << reimported.err.constData();
    EXPECT_EQ(run({ QStringLiteral("export") }, copy).out, exported.out);

    const auto one = run({ QStringLiteral("export"), QStringLiteral("hkcu\\OTHER") });
    ASSERT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out, QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\OTHER]\n\"x\"=dword:ffffffff\n\n"));
}

TEST_F(VornReg, DeletionLines)
{
    ASSERT_EQ(run({ QStringLiteral("import"), everyKind() }).exitCode, 0);
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
    };
    for (const auto& [text, message] : cases) {
        const QString file = write(QStringLiteral("bad.reg"), text);
        const auto result = run({ QStringLiteral("import"), file });
        EXPECT_EQ(result.exitCode, 1) << message;
        EXPECT_TRUE(result.err.contains(message)) << result.err.constData();
    }
    // Nothing of a refused file was written, not even its good first part.
    const QByteArray halfBad = "REGEDIT4\n[HKLM\\Good]\n\"v\"=dword:1\n[HKLM\\Bad]\n\"v\"=what\n";
    EXPECT_EQ(run({ QStringLiteral("import"), write(QStringLiteral("half.reg"), halfBad) }).exitCode, 1);
    EXPECT_EQ(run({ QStringLiteral("export"), QStringLiteral("HKLM\\Good") }).exitCode, 1);

    EXPECT_EQ(run({ QStringLiteral("import"), dir.filePath(QStringLiteral("missing.reg")) }).exitCode, 1);
    EXPECT_EQ(run({ QStringLiteral("frobnicate") }).exitCode, 2);
    EXPECT_EQ(run({ QStringLiteral("export"), QStringLiteral("HKLM\\Nowhere") }).exitCode, 1);
}

TEST_F(VornReg, DamagedHiveIsReportedNotExported)
{
    const QString broken = write(QStringLiteral("broken.db"), QByteArray(4096, '\x42'));
    const auto result = run({ QStringLiteral("export") }, broken);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("damaged")) << result.err.constData();
    EXPECT_TRUE(result.out.isEmpty());
}

} // namespace
