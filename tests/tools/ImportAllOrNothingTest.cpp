// vorn-reg import killed at random moments: the hive holds the old text or
// the new one, never a mix.
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

namespace
{

QByteArray statistics(int entries, const char* accesses, const char* lastTime)
{
    QByteArray text = "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Doomed]\n";
    for (int i = 0; i < entries; ++i) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ\\Entry " + QByteArray::number(i)
            + "]\n\"Accesses\"=" + accesses + "\n\"LastTime\"=\"" + lastTime + "\"\n";
    }
    return text;
}

TEST(ImportAllOrNothing, KilledAtRandomTheHiveHoldsTheOldOrTheNewText)
{
    QTemporaryDir dir;
    const QString program = vorn::test::binPath(QStringLiteral("vorn-reg"));
    auto withHive = [&](const QString& hive) { qputenv("VORN_REGISTRY", hive.toUtf8()); };
    auto file = [&](const QString& name, const QByteArray& text) {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        return out.fileName();
    };
    const QString oldText = file(QStringLiteral("old.reg"),
        statistics(40, "dword:0000002a", "01:02:03") + "[HKLM\\SOFTWARE\\Quorix\\VORN-WIZ\\Doomed]\n\"x\"=\"y\"\n");
    const QString newText = file(QStringLiteral("new.reg"), statistics(3000, "dword:00000000", "00:00:00"));

    const QString pristine = dir.filePath(QStringLiteral("pristine.db"));
    withHive(pristine);
    ASSERT_EQ(vorn::test::runProgram(program, { QStringLiteral("import"), oldText }).exitCode, 0);
    const QByteArray oldExport = vorn::test::runProgram(program, { QStringLiteral("export") }).out;
    const QString whole = dir.filePath(QStringLiteral("whole.db"));
    ASSERT_TRUE(QFile::copy(pristine, whole));
    withHive(whole);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(vorn::test::runProgram(program, { QStringLiteral("import"), newText }).exitCode, 0);
    const int importUs = int(timer.nsecsElapsed() / 1000);
    const QByteArray newExport = vorn::test::runProgram(program, { QStringLiteral("export") }).out;
    ASSERT_NE(oldExport, newExport);

    const auto seed = std::random_device {}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, importUs);
    SCOPED_TRACE(testing::Message() << "seed " << seed << ", a whole import takes " << importUs << " us");
    int killed = 0;
    for (int round = 0; round < 30; ++round) {
        const QString hive = dir.filePath(QStringLiteral("round%1.db").arg(round));
        ASSERT_TRUE(QFile::copy(pristine, hive));
        withHive(hive);
        QProcess importer;
        importer.start(program, { QStringLiteral("import"), newText });
        ASSERT_TRUE(importer.waitForStarted(5000));
        QThread::usleep(delayUs(random));
        ::kill(pid_t(importer.processId()), SIGKILL);
        ASSERT_TRUE(importer.waitForFinished(5000));
        killed += importer.exitStatus() == QProcess::CrashExit;

        const auto exported = vorn::test::runProgram(program, { QStringLiteral("export") });
        ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();
        ASSERT_TRUE(exported.out == oldExport || exported.out == newExport) << "round " << round << " left a mix";
    }
    EXPECT_GT(killed, 0);
}

} // namespace
