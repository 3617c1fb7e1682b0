// The connection history file, and what the history window makes of its rows.
#include "settings/History.h"

#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

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
        // Ticks as the connection monitor does, then dies without a word.
        ConnectionHistory history(file, QStringLiteral("test"));
        history.started(QStringLiteral("A"));
        history.connected();
        QThread::msleep(2000);
        history.tick(2, 200, 20);
        raise(SIGKILL);
    }
    waitpid(child, nullptr, 0);

    const auto rows = ConnectionHistory(file).attempts();
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 1);
    const Attempt& row = rows->at(0);
    EXPECT_EQ(row.outcome, "connected");
    EXPECT_EQ(row.seconds, 2);
    // The end moved with the tick (times are whole seconds).
    const QDateTime start = QDateTime::fromString(row.start, Qt::ISODate);
    EXPECT_GE(start.secsTo(QDateTime::fromString(row.end, Qt::ISODate)), 2) << row.end.toStdString();
    EXPECT_EQ(QFile::permissions(file), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
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

TEST(History, ConnectedTimePerDaySplitsASessionAtMidnightAndCsvQuotesWhatNeedsIt)
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

    // The export quotes the fields that need it.
    Attempt a = connection(QStringLiteral("Zürich, 2nd \"line\""), QDateTime(QDate(2026, 11, 1), {}, Qt::UTC), 61);
    a.text = QStringLiteral("busy,\r\nreally");
    a.bytesIn = 1234567890123;
    EXPECT_EQ(historyCsv({ a }),
        "entry,backend,start,end,outcome,code,text,seconds,bytes_in,bytes_out\r\n\"Zürich, 2nd \"\"line\"\"\",,,"
        "2026-11-01T00:00:00Z,connected,0,\"busy,\r\nreally\",61,1234567890123,0\r\n");
}

} // namespace
