// The connection history file: what survives a killed writer, and the
// per-day sums of the chart.
#include "settings/History.h"

#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using namespace vorn;

namespace
{

TEST(History, AConnectionKilledWithSigkillKeepsItsRowUpToTheLastSecond)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("history.db"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Ticks as the connection monitor does, until killed.
        ConnectionHistory history(file, QStringLiteral("test"));
        history.started(QStringLiteral("A"));
        history.connected();
        for (qint64 seconds = 1;; ++seconds) {
            QThread::msleep(1000);
            history.tick(seconds, seconds * 100, seconds * 10);
        }
    }
    QThread::msleep(3500);
    const QDateTime killed = QDateTime::currentDateTime();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    ConnectionHistory history(file);
    const auto rows = history.attempts();
    ASSERT_TRUE(rows.has_value()) << history.problem().toStdString();
    ASSERT_EQ(rows->size(), 1);
    EXPECT_EQ(rows->at(0).outcome, "connected");
    EXPECT_EQ(rows->at(0).seconds, 3);
    EXPECT_EQ(rows->at(0).bytesIn, 300);
    const QDateTime end = QDateTime::fromString(rows->at(0).end, Qt::ISODate);
    // The row's times are whole seconds.
    EXPECT_LE(end.secsTo(killed), 1) << rows->at(0).end.toStdString();
    struct stat status {
    };
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

Attempt connection(const QString& entry, const QDateTime& end, qint64 seconds)
{
    Attempt a;
    a.entry = entry;
    a.outcome = QStringLiteral("connected");
    a.end = end.toString(Qt::ISODate);
    a.seconds = seconds;
    return a;
}

TEST(History, ConnectedTimePerDaySplitsASessionAtMidnight)
{
    const QDate first(2026, 11, 1);
    const QDateTime midnight = first.addDays(1).startOfDay();
    Attempt failed = connection(QStringLiteral("A"), midnight, 500);
    failed.outcome = QStringLiteral("failed");
    const QList<Attempt> attempts {
        connection(QStringLiteral("A"), midnight.addSecs(1800), 3600), // 23:30 to 00:30
        connection(QStringLiteral("A"), midnight.addSecs(7200), 60),
        connection(QStringLiteral("B"), first.startOfDay().addSecs(600), 1200), // from the day before
        failed,
    };
    const auto perDay = connectedPerDay(attempts, first, 3);
    EXPECT_EQ(perDay.value(QStringLiteral("A")), (QVector<qint64> { 1800, 1860, 0 }));
    EXPECT_EQ(perDay.value(QStringLiteral("B")), (QVector<qint64> { 600, 0, 0 }));
}

} // namespace
