// vorn-reg against a real hive file.
#include "support/TestSupport.h"
#include "tools/vorn-reg/RegText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace
{

class VornReg : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    const QString program = vorn::test::binPath(QStringLiteral("vorn-reg"));
    // Every kind of value, also a seed of the parser's fuzz target.
    const QString everyKind = vorn::test::sourcePath(QStringLiteral("tests/fuzz/seeds/regtext/every-kind.reg"));

    vorn::test::RunResult run(const QStringList& args, const QString& hive = QString())
    {
        qputenv("VORN_REGISTRY", (hive.isEmpty() ? dir.filePath(QStringLiteral("registry.db")) : hive).toUtf8());
        return vorn::test::runProgram(program, args);
    }
    QString write(const QString& name, const QByteArray& text)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }
};

TEST_F(VornReg, ImportExportRoundTripKeepsEveryTypeInEitherFormat)
{
    ASSERT_EQ(run({ "import", everyKind }).exitCode, 0);
    const QByteArray exported = run({ "export" }).out;
    for (const char* line : { "\"Short dword\"=hex(4):01,02\n", "\"Escapes\"=hex(1):61,0a,62,0d,63,71,00\n",
             "16,17,18,19,1a,1b,1c,1d,1e,1f\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n" })
        EXPECT_TRUE(exported.contains(line)) << line;

    EXPECT_EQ(run({ "export", "hkcu\\OTHER" }).out, "REGEDIT4\n\n[HKEY_CURRENT_USER\\OTHER]\n\"x\"=dword:ffffffff\n\n");

    // Deletion lines remove keys with all below them, and values.
    const QByteArray removal = "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix]\n"
                               "[HKEY_CURRENT_USER\\Other]\n\"x\"=-\n\"never there\"=-\n";
    ASSERT_EQ(run({ "import", write(QStringLiteral("rm.reg"), removal) }).exitCode, 0);
    EXPECT_EQ(run({ "export" }).out.toStdString(),
        "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Other]\n\n"
        "[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n");

    // Version 5.00 text in UTF-8, with or without its mark, or in UTF-16LE.
    const QString body = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Größe]\r\n"
                                        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n\"Text\"=\"Ελλάδα\"\r\n\r\n");
    QByteArray utf16 = "\xFF\xFE";
    utf16.append(reinterpret_cast<const char*>(body.utf16()), body.size() * 2);
    for (const QByteArray& text : { body.toUtf8(), "\xEF\xBB\xBF" + body.toUtf8(), utf16 }) {
        const auto imported = run({ "import", write(QStringLiteral("v5.reg"), text) });
        ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
        EXPECT_EQ(run({ "export", "HKCU\\Größe" }).out,
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Größe]\n\"Expand\"=hex(2):25,41,25,00\n\"Text\"=\"Ελλάδα\"\n\n");
        // Written back as regedit writes it: the same bytes.
        EXPECT_EQ(run({ "export", "--format", "5", "HKCU\\Größe" }).out, utf16);
    }
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
        { "Windows Registry Editor Version 5.00\n[HKCU\\A]\n\"x\"=hex(2):41\n", ":3: hex(2): data must be UTF-16LE" },
        // The hive's limits, checked before anything is written.
        { "REGEDIT4\n[HKLM\\A\\" + QByteArray(256, 'k') + "]\n", ":2: a key name is longer than 255" },
        { "REGEDIT4\n[HKLM\\A]\n\"" + QByteArray(16384, 'v') + "\"=dword:1\n", ":3: a value name is longer" },
        { "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\A]\n", ":2: a key path starts with a backslash" },
        { "REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n", ":2: a root key cannot be deleted" },
        { QByteArray("\xFF\xFEW\0i", 5), ":1: the text is not valid UTF-16LE" },
    };
    for (const auto& [text, message] : cases) {
        std::vector<vorn::regtext::KeySection> sections;
        vorn::regtext::Error error;
        vorn::regtext::parse(text, sections, error);
        EXPECT_TRUE(QStringLiteral(":%1: %2").arg(error.line).arg(error.message).startsWith(message))
            << error.line << ": " << error.message.toStdString();
    }
    // Nothing of a refused file was written, not even its good first part.
    const QByteArray before = run({ "export" }).out;
    const QString halfBad = write(QStringLiteral("half.reg"),
        "REGEDIT4\n[-HKLM\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n[HKCU\\Other]\n\"x\"=dword:0\n[HKLM\\"
            + QByteArray(256, 'k') + "]\n");
    const auto result = run({ "import", halfBad });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("vorn-reg: " + halfBad.toUtf8() + ":5: ")) << result.err.constData();
    EXPECT_EQ(run({ "export" }).out, before);
    EXPECT_EQ(run({ "import", dir.filePath(QStringLiteral("missing.reg")) }).exitCode, 1);
    EXPECT_EQ(run({ "frobnicate" }).exitCode, 2);
}

TEST_F(VornReg, FailuresAreOneLineNamingTheFileOrKey)
{
    const QString broken = write(QStringLiteral("broken.db"), QByteArray(4096, '\x42'));
    const QString folder = dir.filePath(QStringLiteral("folder.db"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString good = write(QStringLiteral("good.reg"), "REGEDIT4\n[HKLM\\A]\n");
    const QString damaged = ": the registry file " + broken + " is damaged: file is not a database";
    const std::tuple<QStringList, QString, QString> cases[] = {
        { { "import", good }, broken, "nothing imported from " + good + damaged },
        { { "export" }, folder,
            "cannot export the hive: cannot open the registry file " + folder + ": it is a folder" },
        { { "export", "HKLM\\Nowhere" }, {}, "cannot export HKLM\\Nowhere: no such key" },
    };
    for (const auto& [args, hive, message] : cases) {
        const auto result = run(args, hive);
        EXPECT_EQ(result.exitCode, 1) << message.toStdString();
        EXPECT_EQ(QString::fromUtf8(result.err), "vorn-reg: " + message + '\n');
        EXPECT_TRUE(result.out.isEmpty());
    }
}

using ImportAllOrNothing = VornReg;

// Killed at random moments, the import leaves the old text or the new one, never a mix.
TEST_F(ImportAllOrNothing, KilledAtRandomTheHiveHoldsTheOldOrTheNewText)
{
    QByteArray text = "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Empty key]\n";
    for (int i = 0; i < 3000; ++i)
        text
            += "[HKLM\\SOFTWARE\\Quorix\\VORN-WIZ\\Entry " + QByteArray::number(i) + "]\n\"Accesses\"=dword:00000000\n";
    const QString newText = write(QStringLiteral("new.reg"), text);
    const QString pristine = dir.filePath(QStringLiteral("pristine.db"));
    const QString whole = dir.filePath(QStringLiteral("whole.db"));
    ASSERT_EQ(run({ "import", everyKind }, pristine).exitCode, 0);
    const QByteArray oldExport = run({ "export" }, pristine).out;
    ASSERT_TRUE(QFile::copy(pristine, whole));
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(run({ "import", newText }, whole).exitCode, 0);
    const int importUs = int(timer.nsecsElapsed() / 1000);
    const QByteArray newExport = run({ "export" }, whole).out;

    SCOPED_TRACE(testing::Message() << "a whole import takes " << importUs << " us");
    int killed = 0;
    for (int round = 0; round < 30; ++round) {
        const QString hive = dir.filePath(QStringLiteral("round%1.db").arg(round));
        ASSERT_TRUE(QFile::copy(pristine, hive));
        qputenv("VORN_REGISTRY", hive.toUtf8());
        QProcess importer;
        importer.start(program, { "import", newText });
        ASSERT_TRUE(importer.waitForStarted(5000));
        QThread::usleep(QRandomGenerator::global()->bounded(importUs));
        ::kill(pid_t(importer.processId()), SIGKILL);
        ASSERT_TRUE(importer.waitForFinished(5000));
        killed += importer.exitStatus() == QProcess::CrashExit;

        const auto exported = run({ "export" }, hive).out;
        ASSERT_TRUE(exported == oldExport || exported == newExport) << "round " << round << " left a mix";
    }
    EXPECT_GT(killed, 0);
}

} // namespace
