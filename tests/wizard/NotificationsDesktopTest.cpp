// Desktop notifications of the wizard, shown by a real notification daemon
// (dunst) on a private session bus of the test desktop.
#include "WizardFixture.h"
#include "platform/Notifications.h"
#include "settings/Statistics.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

using namespace std::chrono_literals;
using namespace vorn;
using namespace vorn::test;

namespace
{

class NotificationsDesktopTest : public WizardTest
{
protected:
    QProcess bus, dunst; // ended with the test

    void SetUp() override
    {
        ASSERT_TRUE(inTestSession()) << "run through scripts/test-session.sh";
        // A private bus, before the program first connects to the session bus.
        bus.start(QStringLiteral("dbus-daemon"), { "--session", "--nofork", "--print-address=1" });
        ASSERT_TRUE(bus.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        WizardTest::SetUp();
        dunst.start(QStringLiteral("dunst"), { QStringLiteral("-config"), QStringLiteral("/dev/null") });
        ASSERT_TRUE(waitUntil([] { return dunstctl({ "count", "history" }).exitCode == 0; }, 10s)) << "dunst is up";
        ras->entryNames = { "A" };
    }

    static RunResult dunstctl(const QStringList& args) { return runProgram(QStringLiteral("dunstctl"), args); }

    // What dunst received since the last call, up to `marker`, which is sent after everything else.
    QStringList receivedUpTo(Notifications& notifier, const QString& marker)
    {
        notifier.notify(marker);
        QStringList summaries; // oldest first
        waitUntil(
            [&] {
                dunstctl({ "close-all" });
                const QJsonDocument history = QJsonDocument::fromJson(dunstctl({ "history" }).out);
                summaries.clear();
                for (const auto& item : history[QStringLiteral("data")].toArray().at(0).toArray())
                    summaries.prepend(item[QStringLiteral("summary")][QStringLiteral("data")].toString());
                return summaries.contains(marker);
            },
            10s);
        const qsizetype end = summaries.indexOf(marker);
        const QStringList since = summaries.mid(seen, end - seen);
        seen = end + 1;
        return since;
    }
    qsizetype seen = 0;

    TfrmSelect& connectA()
    {
        TfrmSelect& w = window ? *window : start();
        w.SelectedEntries.add("A");
        w.show();
        ras->outcomes["A"] = FakeRemoteAccess::Outcome::Connect;
        w.Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);
        w.Timer1->stop();
        return w;
    }
    void breakLine(TfrmSelect& w)
    {
        ras->dropLines();
        w.Timer1Timer();
    }
};

// One on connect and one on a broken line; none on a user's disconnect or
// when turned off; without a daemon the wizard goes on without waiting.
TEST_F(NotificationsDesktopTest, OneOnConnectOneOnABrokenLineNoneOnDisconnectOrWhenTurnedOff)
{
    TfrmSelect& w = connectA();
    w.ConnectStart = QDateTime::currentDateTime().addSecs(-65);
    breakLine(w);
    EXPECT_EQ(receivedUpTo(*w.Notifier, "marker 1"),
        (QStringList { "Connected to A", "Connection to A broke after 00:01:05" }));

    connectA();
    w.Disconnect1->trigger();
    EXPECT_EQ(receivedUpTo(*w.Notifier, "marker 2"), QStringList { "Connected to A" });

    store(stats::ProgramKey, stats::Notify, Variant(qint32(0)));
    connectA();
    breakLine(w);
    EXPECT_EQ(receivedUpTo(*w.Notifier, "marker 3"), QStringList {});

    store(stats::ProgramKey, stats::Notify, Variant(qint32(1)));
    dunst.kill();
    dunst.waitForFinished();
    connectA();
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    QElapsedTimer breaking;
    breaking.start();
    breakLine(w);
    EXPECT_LT(breaking.elapsed(), 2000) << "nothing waits for an answer";
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
    EXPECT_EQ(prompts.messages.back().text, "Connection has been broken!");
}

} // namespace
