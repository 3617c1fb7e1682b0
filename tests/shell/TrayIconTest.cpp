// TTrayIcon against a recording notification area.
#include "app/TrayIcon.h"

#include "support/FakeNotificationArea.h"

#include <QCoreApplication>
#include <QPixmap>

#include <gtest/gtest.h>

#include <vector>

namespace
{

using Action = vorn::NotificationArea::MouseAction;
using ShellCall = vorn::test::FakeNotificationArea::Call;

class TrayIconTest : public ::testing::Test
{
protected:
    std::shared_ptr<std::vector<ShellCall>> log = std::make_shared<std::vector<ShellCall>>();
    std::vector<ShellCall>& calls = *log;
    vorn::test::FakeNotificationArea* shell = nullptr;
    std::unique_ptr<TTrayIcon> tray;

    void SetUp() override
    {
        auto fake = std::make_unique<vorn::test::FakeNotificationArea>();
        fake->calls = log;
        shell = fake.get();
        tray = std::make_unique<TTrayIcon>(nullptr, std::move(fake));
    }
    // The kinds of the requests sent since the last call.
    std::vector<ShellCall::Kind> sent()
    {
        std::vector<ShellCall::Kind> kinds;
        for (const auto& call : calls)
            kinds.push_back(call.kind);
        calls.clear();
        return kinds;
    }
};

using Kinds = std::vector<ShellCall::Kind>;

TEST_F(TrayIconTest, AddsOnceWithWhatWasSetRemovesOnlyWhatIsShownAndRefusalsChangeNoState)
{
    tray->setActive(false);
    const QIcon icon(QPixmap(16, 16));
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:01"));
    tray->setIcon(icon);
    EXPECT_TRUE(calls.empty());

    tray->setActive(true);
    tray->setActive(true);
    EXPECT_EQ(calls.at(0).tip, QStringLiteral("Connected to Home: 00:00:01"));
    EXPECT_EQ(calls.at(0).iconKey, icon.cacheKey());
    EXPECT_EQ(sent(), Kinds { ShellCall::Add });

    // While active, each change is pushed with both values.
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:02"));
    EXPECT_EQ(calls.at(0).tip, QStringLiteral("Connected to Home: 00:00:02"));
    EXPECT_EQ(sent(), Kinds { ShellCall::Modify });

    tray->setActive(false);
    tray->setActive(false);
    EXPECT_EQ(sent(), Kinds { ShellCall::Remove });

    // A shell that refuses changes no state: the icon is active and asked again.
    shell->accepts = false;
    tray->setActive(true);
    EXPECT_TRUE(tray->Active());
    tray->setToolTip(QStringLiteral("next"));
    tray->setActive(false);
    EXPECT_FALSE(tray->Active());
    EXPECT_EQ(sent(), (Kinds { ShellCall::Add, ShellCall::Modify, ShellCall::Remove }));
    tray.reset();
    EXPECT_TRUE(calls.empty()) << "an inactive icon is destroyed without a request";
}

TEST_F(TrayIconTest, AnEmptyTipOnActivationIsRefreshedAfterQueuedWorkAndDestructionRemovesIt)
{
    tray->setActive(true);
    // The caller's current work changes the icon after activating, and the
    // refresh, handled later, sends the values of then.
    const QIcon icon(QPixmap(16, 16));
    tray->setIcon(icon);
    EXPECT_EQ(sent(), (Kinds { ShellCall::Add, ShellCall::Modify }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.at(0).iconKey, icon.cacheKey());
    tray.reset();
    EXPECT_EQ(sent(), (Kinds { ShellCall::Modify, ShellCall::Remove }));
}

TEST_F(TrayIconTest, ToolTipIsCutTo62Characters)
{
    const QString exact(62, QLatin1Char('a'));
    tray->setToolTip(exact + QLatin1Char('b'));
    EXPECT_EQ(tray->ToolTip(), exact);
    // A character outside the basic plane is never cut in half.
    tray->setToolTip(QString(61, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\x9E"));
    EXPECT_EQ(tray->ToolTip(), QString(61, QLatin1Char('a')));
}

TEST_F(TrayIconTest, ARightClickIsRaisedAtTheCursorPositionOfThen)
{
    QPoint at;
    tray->OnRightClick = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { at = QPoint(x, y); };
    shell->cursor = QPoint(640, 12);
    shell->handler(Action::RightRelease);
    EXPECT_EQ(at, QPoint(640, 12));
}

} // namespace
