// What the wizard writes into the connection history and shows in the tray
// menu, for a run with a failure, a skip, a connection and a broken line.
#include "WizardFixture.h"
#include "platform/Paths.h"
#include "settings/History.h"

#include <QMenu>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace
{

TEST_F(WizardTest, EveryAttemptOfARunIsARowAndTheTrayMenuShowsTimeAndTraffic)
{
    ras->entryNames = { "A", "B", "C" };
    ras->errorTexts[ras::LineBusy] = "The line is busy.";
    // A is busy, B rings until it is skipped, C connects.
    ras->outcomes["A"] = FakeRemoteAccess::Outcome::Busy;
    ras->outcomes["C"] = FakeRemoteAccess::Outcome::Connect;
    ras->countsTraffic = true;
    TfrmSelect& w = start();
    for (const char* name : { "A", "B", "C" })
        w.SelectedEntries.add(name);
    w.show();
    QTimer::singleShot(1400, &w, [&] { w.btnSkip->click(); });
    w.Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);
    ASSERT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);

    w.Timer1->stop();
    ras->bytesIn = 4096;
    ras->bytesOut = 1024;
    w.Timer1Timer();
    EXPECT_EQ(w.Ipm->actions().first(), w.ConnectedItem);
    EXPECT_FALSE(w.ConnectedItem->isEnabled());
    EXPECT_EQ(w.ConnectedItem->text(), "Connected to C: " + w.lblTime->text() + " (4.00 KiB in, 1.00 KiB out)");

    ras->dropLines();
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
