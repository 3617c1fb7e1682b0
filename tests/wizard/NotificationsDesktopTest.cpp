// The program's notifications reach a real daemon (dunst) on a private session bus;
// without one, sending returns at once. What the wizard sends is the dialing tests'.
#include "platform/Notifications.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace vorn;
using namespace vorn::test;

TEST(NotificationsDesktopTest, TheDaemonShowsWhatIsSentAndWithoutItNothingWaits)
{
    ASSERT_TRUE(inTestSession()) << "run through scripts/test-session.sh";
    QProcess bus, dunst; // ended with the test
    // A private bus, before the program first connects to the session bus.
    bus.start(QStringLiteral("dbus-daemon"), { "--session", "--nofork", "--print-address=1" });
    ASSERT_TRUE(bus.waitForReadyRead(10000));
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    dunst.start(QStringLiteral("dunst"), { QStringLiteral("-config"), QStringLiteral("/dev/null") });
    const auto dunstctl = [](const QStringList& args) { return runProgram(QStringLiteral("dunstctl"), args); };
    ASSERT_TRUE(waitUntil([&] { return dunstctl({ "count", "history" }).exitCode == 0; }, 10s)) << "dunst is up";

    const std::unique_ptr<Notifications> notifier = platform::notifications();
    const QStringList sent { "Connected to A", "Connection to A broke after 00:01:05" };
    for (const QString& summary : sent)
        notifier->notify(summary);
    QStringList shown; // oldest first
    waitUntil(
        [&] {
            dunstctl({ "close-all" });
            const QJsonDocument history = QJsonDocument::fromJson(dunstctl({ "history" }).out);
            shown.clear();
            for (const auto& item : history[QStringLiteral("data")].toArray().at(0).toArray())
                shown.prepend(item[QStringLiteral("summary")][QStringLiteral("data")].toString());
            return shown.size() >= sent.size();
        },
        10s);
    EXPECT_EQ(shown, sent);

    dunst.kill();
    dunst.waitForFinished();
    QElapsedTimer sending;
    sending.start();
    notifier->notify(QStringLiteral("Nobody listens"));
    EXPECT_LT(sending.elapsed(), 2000) << "nothing waits for an answer";
}
