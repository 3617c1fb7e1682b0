// vorn-history against history files written through the history class.
#include "settings/History.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::test;

namespace
{

class HistoryToolTest : public ::testing::Test
{
protected:
    // A failure and a connection, with texts that need quoting in CSV.
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("VORN_HISTORY", file.toLocal8Bit());
        ConnectionHistory writer(file, QStringLiteral("sim"));
        writer.started(office);
        writer.ended(ConnectionHistory::Outcome::Failed, 676, QStringLiteral("busy,\r\nreally"));
        writer.started(QStringLiteral("Zürich"));
        writer.connected();
        writer.tick(61, 1234567890123, 42);
        writer.disconnected();
    }
    void TearDown() override { qunsetenv("VORN_HISTORY"); }

    RunResult history(const QStringList& args) { return runProgram(binPath(QStringLiteral("vorn-history")), args); }

    QTemporaryDir folder;
    QString file = folder.filePath(QStringLiteral("history.db"));
    const QString office = QStringLiteral("Office, 2nd \"line\"");
};

TEST_F(HistoryToolTest, CsvReadBackByPythonEqualsTheRows)
{
    const auto rows = ConnectionHistory(file).attempts();
    ASSERT_TRUE(rows.has_value());

    const RunResult csv = history({ QStringLiteral("--csv") });
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    QProcess python;
    python.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, io, json, sys; "
                           "print(json.dumps(list(csv.reader(io.TextIOWrapper(sys.stdin.buffer, newline='')))))") });
    python.write(csv.out);
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(30000));
    const QJsonArray parsed = QJsonDocument::fromJson(python.readAllStandardOutput()).array();

    ASSERT_EQ(parsed.size(), 3) << csv.out.toStdString();
    EXPECT_EQ(parsed[0].toVariant().toStringList(),
        QString("entry,backend,start,end,outcome,code,text,seconds,bytes_in,bytes_out").split(','));
    for (int i = 0; i < 2; ++i) {
        const Attempt& a = rows->at(i);
        EXPECT_EQ(parsed[i + 1].toVariant().toStringList(),
            (QStringList { a.entry, a.backend, a.start, a.end, a.outcome, QString::number(a.code), a.text,
                QString::number(a.seconds), QString::number(a.bytesIn), QString::number(a.bytesOut) }));
    }
    EXPECT_EQ(rows->at(1).bytesIn, 1234567890123);
}

TEST_F(HistoryToolTest, FiltersClearingAndErrors)
{
    const auto entriesOf = [this](const QStringList& args) {
        QStringList entries;
        for (const auto& row : QJsonDocument::fromJson(history(args).out).array())
            entries << row[QStringLiteral("entry")].toString();
        return entries;
    };
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    const QStringList both { office, "Zürich" };
    EXPECT_EQ(entriesOf({ "--json" }), both);
    EXPECT_EQ(entriesOf({ "--json", "--entry", "Zürich" }), QStringList { "Zürich" });
    EXPECT_EQ(entriesOf({ "--json", "--since", today }), both);
    EXPECT_EQ(entriesOf({ "--json", "--since", tomorrow }), QStringList {});

    EXPECT_EQ(history({ "--clear", "--entry", "Zürich" }).exitCode, 0);
    EXPECT_EQ(entriesOf({ "--json" }), QStringList { office });
    EXPECT_EQ(history({ "--clear" }).exitCode, 0);
    EXPECT_EQ(entriesOf({ "--json" }), QStringList {});

    const RunResult badDate = history({ "--since", "1.12.2026" });
    EXPECT_EQ(badDate.exitCode, 2);
    EXPECT_TRUE(badDate.err.contains("--since wants a date as YYYY-MM-DD")) << badDate.err.toStdString();

    QFile::remove(file);
    const RunResult missing = history({});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(file.toUtf8() + " does not exist")) << missing.err.toStdString();

    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    const RunResult broken = history({ "--csv" });
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains("Cannot read the history " + file.toUtf8() + ": file is not a database"))
        << broken.err.toStdString();
}

} // namespace
