// Our export through Wine's regedit and back: regedit /s reads it, regedit /e
// writes it again (Version 5.00, UTF-16LE), vorn-reg imports that, and every
// value comes back equal in type and data. Slow: it starts Wine in a private,
// throw-away prefix.
#include "support/TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

constexpr char Key[] = "HKEY_CURRENT_USER\\Software\\VornRoundTrip";

QByteArray sample(const QByteArray& letters)
{
    return QByteArray("REGEDIT4\n[") + Key + "]\n@=\"the default\"\n\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\\\\\"\n"
        + "\"Letters\"=\"" + letters + "\"\n\"Accesses\"=dword:0000002a\n\"Binary\"=hex:00,ff,10,80\n"
        + "\"Expand\"=hex(2):25,50,41,54,48,25,00\n\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\n"
        + "\"Lines\"=hex(1):6c,31,0a,6c,32,00\n\"Gone\"=\"soon\"\n[" + Key + "\\Sub]\n\"x\"=dword:00000001\n[" + Key
        + "\\Doomed]\n\"y\"=\"z\"\n";
}

QByteArray deletions()
{
    return QByteArray("[-") + Key + "\\Doomed]\n[" + Key + "]\n\"Gone\"=-\n";
}

class RegeditRoundTrip : public ::testing::TestWithParam<int>
{
protected:
    QTemporaryDir dir;

    vorn::test::RunResult vornReg(const QString& hive, const QStringList& args)
    {
        qputenv("VORN_REGISTRY", dir.filePath(hive).toUtf8());
        return vorn::test::runProgram(vorn::test::binPath(QStringLiteral("vorn-reg")), args, 60000);
    }
    vorn::test::RunResult regedit(const QStringList& args)
    {
        qputenv("WINEPREFIX", dir.filePath(QStringLiteral("prefix")).toUtf8());
        qputenv("WINEDEBUG", "-all");
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
        qunsetenv("DISPLAY");
        return vorn::test::runProgram(QStringLiteral("wine"), QStringList { QStringLiteral("regedit") } + args, 300000);
    }
    QString write(const QString& name, const QByteArray& text)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }
};

TEST_P(RegeditRoundTrip, EveryValueComesBackEqual)
{
    if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
        GTEST_SKIP() << "Wine is not installed (scripts/deps.sh installs it)";
    const int format = GetParam();
    // REGEDIT4 text is 8-bit in the system's code page, so only format 5 carries any letter.
    const QByteArray letters = format == 5 ? "Größe Ærø Ελλάδα ıİ" : "plain ASCII";
    ASSERT_EQ(
        vornReg(QStringLiteral("ours.db"), { QStringLiteral("import"), write("sample.reg", sample(letters)) }).exitCode,
        0);
    const QString ours = dir.filePath(QStringLiteral("ours.reg"));
    const auto exported = vornReg(QStringLiteral("ours.db"),
        { QStringLiteral("export"), QStringLiteral("--format"), QString::number(format), QStringLiteral("-o"), ours,
            QString::fromUtf8(Key) });
    ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();

    const auto imported = regedit({ QStringLiteral("/s"), ours });
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
    // Wine's regedit writes what it read exactly as our format 5 does, but
    // for a text with a line break: Wine writes "\n" in quotes, we hex(1).
    const QString first = dir.filePath(QStringLiteral("first.reg"));
    ASSERT_EQ(regedit({ QStringLiteral("/e"), first, QString::fromUtf8(Key) }).exitCode, 0);
    const auto ours5 = vornReg(QStringLiteral("ours.db"),
        { QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("5"), QString::fromUtf8(Key) });
    QFile theirs5(first);
    ASSERT_TRUE(theirs5.open(QIODevice::ReadOnly));
    const auto withoutLines = [](const QByteArray& utf16) {
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.constData()), utf16.size() / 2);
        return text.split(QStringLiteral("\r\n")).filter(QRegularExpression(QStringLiteral("^(?!\"Lines\")")));
    };
    const QByteArray theirs = theirs5.readAll();
    EXPECT_TRUE(theirs.startsWith("\xFF\xFE"));
    EXPECT_EQ(withoutLines(theirs), withoutLines(ours5.out));
    const QString deletionFile = write(QStringLiteral("deletions.reg"), "REGEDIT4\n" + deletions());
    ASSERT_EQ(regedit({ QStringLiteral("/s"), deletionFile }).exitCode, 0);
    const QString back = dir.filePath(QStringLiteral("back.reg"));
    const auto wineExport = regedit({ QStringLiteral("/e"), back, QString::fromUtf8(Key) });
    ASSERT_EQ(wineExport.exitCode, 0) << wineExport.err.constData();

    ASSERT_EQ(vornReg(QStringLiteral("ours.db"), { QStringLiteral("import"), deletionFile }).exitCode, 0);
    const auto reimported = vornReg(QStringLiteral("theirs.db"), { QStringLiteral("import"), back });
    ASSERT_EQ(reimported.exitCode, 0) << reimported.err.constData();
    const auto expected = vornReg(QStringLiteral("ours.db"), { QStringLiteral("export"), QString::fromUtf8(Key) });
    const auto actual = vornReg(QStringLiteral("theirs.db"), { QStringLiteral("export"), QString::fromUtf8(Key) });
    EXPECT_EQ(actual.out.toStdString(), expected.out.toStdString());
    EXPECT_TRUE(expected.out.contains(letters));
    EXPECT_FALSE(expected.out.contains("Doomed"));
}

INSTANTIATE_TEST_SUITE_P(Formats, RegeditRoundTrip, ::testing::Values(4, 5));

} // namespace
