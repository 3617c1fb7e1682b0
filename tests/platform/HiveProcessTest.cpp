// Several processes on one hive file: writers killed at random moments leave
// a sound file with every value whole, and concurrent writers lose nothing.
#include "GenerationText.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/RegFiles.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

namespace
{

QString writerProgram()
{
    return vorn::test::binPath(QStringLiteral("vorn_hive_writer"));
}

QByteArray integrityCheck(const QString& file)
{
    return vorn::test::runProgram(
        QStringLiteral("sqlite3"), { QStringLiteral("-readonly"), file, QStringLiteral("PRAGMA integrity_check") })
        .out.trimmed();
}

TEST(HiveProcesses, WritersKilledAtRandomLeaveEveryValueWhole)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("registry.db"));
    const auto seed = std::random_device {}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 15000);
    SCOPED_TRACE(testing::Message() << "seed " << seed);

    for (int round = 0; round < 100; ++round) {
        QProcess writer;
        writer.start(writerProgram(), { QStringLiteral("loop"), file });
        ASSERT_TRUE(writer.waitForStarted(5000));
        // Odd rounds die while opening and recovering the file, even ones mid-write.
        if (round % 2 == 0) {
            ASSERT_TRUE(writer.waitForReadyRead(10000)) << writer.readAllStandardError().constData();
        }
        QThread::usleep(delayUs(random));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(5000));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << writer.readAllStandardError().constData();
    }

    EXPECT_EQ(integrityCheck(file), "ok");
    vorn::SqliteRegistry hive(file);
    TRegFile reg(nullptr, &hive);
    reg.Key = QStringLiteral("Crash\\Values");
    for (int slot = 0; slot < 8; ++slot) {
        const Variant text = reg.ReadValue(QStringLiteral("text%1").arg(slot));
        ASSERT_TRUE(text.isText()) << slot;
        const int generation = text.text().split(';').value(0).toInt();
        EXPECT_EQ(generation % 8, slot);
        EXPECT_EQ(text.text(), generationText(generation)) << "slot " << slot << " torn";
        EXPECT_TRUE(reg.ReadValue(QStringLiteral("number%1").arg(slot)).isInteger()) << slot;
    }
}

TEST(HiveProcesses, ConcurrentWritersLoseNothing)
{
    QTemporaryDir dir;
    // A fresh file: both processes also race to create the hive itself.
    const QString file = dir.filePath(QStringLiteral("new/registry.db"));
    constexpr int perWriter = 400;
    QProcess first;
    QProcess second;
    first.start(writerProgram(), { QStringLiteral("count"), file, QStringLiteral("a"), QString::number(perWriter) });
    second.start(writerProgram(), { QStringLiteral("count"), file, QStringLiteral("b"), QString::number(perWriter) });
    for (QProcess* writer : { &first, &second }) {
        ASSERT_TRUE(writer->waitForFinished(60000));
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().constData();
    }

    vorn::SqliteRegistry hive(file);
    TRegFile reg(nullptr, &hive);
    reg.Key = QStringLiteral("Shared\\Key");
    for (int i = 0; i < perWriter; ++i) {
        for (const char* prefix : { "a", "b" }) {
            const Variant value = reg.ReadValue(QLatin1String(prefix) + QString::number(i));
            ASSERT_TRUE(value.isInteger()) << prefix << i;
            EXPECT_EQ(value.toInt(), i);
        }
    }
}

} // namespace
