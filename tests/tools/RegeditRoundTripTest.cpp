// Our export through Wine's regedit (/s, then /e) and back, every value equal
// in type and data. Slow: it starts Wine in a private, throw-away prefix.
#include "support/TestSupport.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

const QString Key = QStringLiteral("HKEY_CURRENT_USER\\Software\\VornRoundTrip");

class RegeditRoundTrip : public ::testing::TestWithParam<int>
{
protected:
    QTemporaryDir dir;
    const QString vornReg = vorn::test::binPath(QStringLiteral("vorn-reg"));

    QByteArray run(const QString& program, const QStringList& args, const QString& hive = QStringLiteral("ours.db"))
    {
        qputenv("VORN_REGISTRY", dir.filePath(hive).toUtf8());
        qputenv("WINEPREFIX", dir.filePath(QStringLiteral("prefix")).toUtf8());
        qputenv("WINEDEBUG", "-all");
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
        qunsetenv("DISPLAY");
        const auto result = vorn::test::runProgram(program, args, 300000);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        return result.out;
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
    const QByteArray key = Key.toUtf8();
    const QByteArray sample = "REGEDIT4\n[" + key
        + "]\n@=\"the default\"\n\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\\\\\"\n" + "\"Letters\"=\"" + letters
        + "\"\n\"Accesses\"=dword:0000002a\n\"Binary\"=hex:00,ff,10,80\n"
        + "\"Expand\"=hex(2):25,50,41,54,48,25,00\n\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\n"
        + "\"Gone\"=\"soon\"\n[" + key + "\\Sub]\n\"x\"=dword:00000001\n[" + key + "\\Doomed]\n\"y\"=\"z\"\n";
    const QString deletions
        = write(QStringLiteral("deletions.reg"), "REGEDIT4\n[-" + key + "\\Doomed]\n[" + key + "]\n\"Gone\"=-\n");
    const QString ours = dir.filePath(QStringLiteral("ours.reg"));
    const QString back = dir.filePath(QStringLiteral("back.reg"));
    run(vornReg, { "import", write(QStringLiteral("sample.reg"), sample) });
    run(vornReg, { "export", "--format", QString::number(format), "-o", ours, Key });
    for (const QStringList& args : { QStringList { "/s", ours }, { "/s", deletions }, { "/e", back, Key } })
        run(QStringLiteral("wine"), QStringList { "regedit" } + args);
    run(vornReg, { "import", deletions });

    // Wine writes what it holds exactly as our format 5 does (a text with a
    // line break is left out: Wine writes "\n" in quotes, we hex(1)).
    QFile theirs(back);
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
    EXPECT_EQ(theirs.readAll(), run(vornReg, { "export", "--format", "5", Key }));

    run(vornReg, { "import", back }, QStringLiteral("theirs.db"));
    const QByteArray expected = run(vornReg, { "export", Key });
    EXPECT_EQ(run(vornReg, { "export", Key }, QStringLiteral("theirs.db")).toStdString(), expected.toStdString());
    EXPECT_TRUE(expected.contains(letters));
}

INSTANTIATE_TEST_SUITE_P(Formats, RegeditRoundTrip, ::testing::Values(4, 5));

} // namespace
