// vorn-history against history files written through the history class.
#include "settings/History.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace vorn;
using namespace vorn::test;

namespace
{

class HistoryToolTest : public ::testing::Test
{
protected:
    // A failure and a connection still up.
    void SetUp() override
    {
        qputenv("VORN_HISTORY", file.toLocal8Bit());
        ConnectionHistory writer(file, QStringLiteral("sim"));
        writer.started(office);
        writer.ended(ConnectionHistory::Outcome::Failed, 676, QStringLiteral("busy"));
        writer.started(QStringLiteral("Zürich"));
        writer.connected();
    }

    RunResult history(const QStringList& args) { return runProgram(binPath(QStringLiteral("vorn-history")), args); }
    QStringList entriesOf(const QStringList& args)
    {
        QStringList entries;
        for (const auto& row : QJsonDocument::fromJson(history(QStringList { "--json" } + args).out).array())
            entries << row[QStringLiteral("entry")].toString();
        return entries;
    }

    QTemporaryDir folder;
    QString file = folder.filePath(QStringLiteral("history.db"));
    const QString office = QStringLiteral("Office, 2nd \"line\"");
};

TEST_F(HistoryToolTest, FiltersClearingAndErrors)
{
    EXPECT_EQ(history({ "--csv" }).out, historyCsv(*ConnectionHistory(file).attempts()));
    EXPECT_EQ(entriesOf({ "--entry", "Zürich" }), QStringList { "Zürich" });
    EXPECT_EQ(entriesOf({ "--since", QDate::currentDate().toString(Qt::ISODate) }), (QStringList { office, "Zürich" }));
    EXPECT_EQ(entriesOf({ "--since", QDate::currentDate().addDays(1).toString(Qt::ISODate) }), QStringList {});

    EXPECT_EQ(history({ "--clear", "--entry", "Zürich" }).exitCode, 0);
    EXPECT_EQ(entriesOf({}), QStringList { office });
    EXPECT_EQ(history({ "--clear" }).exitCode, 0);
    EXPECT_EQ(entriesOf({}), QStringList {});

    const auto refused = [this](const QStringList& args, int exitCode, const QByteArray& says) {
        const RunResult result = history(args);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_TRUE(result.err.contains(says)) << result.err.toStdString();
    };
    refused({ "--since", "1.12.2026" }, 2, "--since wants a date as YYYY-MM-DD");
    std::ofstream(file.toStdString()) << std::string(4096, 'x');
    refused({ "--csv" }, 1, "Cannot read the history " + file.toUtf8() + ": file is not a database");
    QFile::remove(file);
    refused({}, 1, file.toUtf8() + " does not exist");
}

} // namespace
