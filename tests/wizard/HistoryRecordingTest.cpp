// What the wizard writes into the connection history and shows in the tray
// menu, for a run with a failure, a skip, a connection and a broken line.
#include "WizardFixture.h"
#include "platform/Paths.h"
#include "settings/History.h"
#include "support/FakeRemoteAccess.h"

#include <QMenu>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace
{

TEST_F(WizardTest, EveryAttemptOfARunIsARowAndTheTrayMenuShowsTimeAndTraffic)
{
    auto line = std::make_shared<::FakeRemoteAccess>();
    line->entryNames = { "A", "B", "C" };
    line->errorTexts[ras::LineBusy] = "The line is busy.";
    service = line;
    TfrmSelect& w = start();
    for (const char* name : { "A", "B", "C" })
        w.SelectedEntries.add(name);
    w.show();
    // A is busy, B is skipped during its attempt, C connects.
    QTimer::singleShot(100, &w, [&] { line->notify(ras::OpenPort, ras::LineBusy); });
    QTimer::singleShot(1400, &w, [&] { w.btnSkip->click(); });
    QTimer::singleShot(2700, &w, [&] {
        line->connections = { ::FakeRemoteAccess::connection(line->nextHandle, "C") };
        line->countsTraffic = true;
        line->notify(ras::Connected);
    });
    w.Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);
    ASSERT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);

    w.Timer1->stop();
    line->bytesIn = 4096;
    line->bytesOut = 1024;
    w.Timer1Timer();
    EXPECT_EQ(w.Ipm->actions().first(), w.ConnectedItem);
    EXPECT_FALSE(w.ConnectedItem->isEnabled());
    EXPECT_EQ(w.ConnectedItem->text(), "Connected to C: " + w.lblTime->text() + " (4.00 KiB in, 1.00 KiB out)");

    line->connections.clear();
    w.Timer1Timer();

    ConnectionHistory history(paths::historyFile());
    const auto rows = history.attempts();
    ASSERT_TRUE(rows.has_value()) << history.problem().toStdString();
    ASSERT_EQ(rows->size(), 3);
    EXPECT_EQ(rows->at(0).entry, "A");
    EXPECT_EQ(rows->at(0).outcome, "failed");
    EXPECT_EQ(rows->at(0).code, ras::LineBusy);
    EXPECT_EQ(rows->at(0).text, "The line is busy.");
    EXPECT_EQ(rows->at(1).entry, "B");
    EXPECT_EQ(rows->at(1).outcome, "skipped");
    const Attempt& c = rows->at(2);
    EXPECT_EQ(c.entry, "C");
    EXPECT_EQ(c.outcome, "connected");
    EXPECT_EQ(c.seconds, w.ConnectedSeconds);
    EXPECT_EQ(c.bytesIn, 4096);
    EXPECT_EQ(c.bytesOut, 1024);
    EXPECT_EQ(c.code, ras::RemoteDisconnection);
    EXPECT_EQ(c.text, "Connection has been broken!");
    for (const auto& row : *rows) {
        // ISO 8601 with the offset, the end never before the start.
        EXPECT_TRUE(QDateTime::fromString(row.start, Qt::ISODate).isValid()) << row.start.toStdString();
        EXPECT_GE(QDateTime::fromString(row.end, Qt::ISODate), QDateTime::fromString(row.start, Qt::ISODate));
        EXPECT_TRUE(row.start.contains(QRegularExpression("[+-]\\d\\d:\\d\\d$"))) << row.start.toStdString();
    }
}

} // namespace
