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

QIcon colouredIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

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

    static void handleQueued() { QCoreApplication::processEvents(); }
};

TEST_F(TrayIconTest, AddsOnceAndRemovesOnlyWhatIsShown)
{
    tray->setActive(false);
    EXPECT_TRUE(calls.empty());

    tray->setToolTip(QStringLiteral("tip"));
    tray->setActive(true);
    tray->setActive(true);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, ShellCall::Add);

    tray->setActive(false);
    tray->setActive(false);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, ShellCall::Remove);
}

TEST_F(TrayIconTest, ChangesWhileInactiveGoWithTheNextAdd)
{
    const QIcon icon = colouredIcon(Qt::red);
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:01"));
    tray->setIcon(icon);
    EXPECT_TRUE(calls.empty());

    tray->setActive(true);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].tip, QStringLiteral("Connected to Home: 00:00:01"));
    EXPECT_EQ(calls[0].iconKey, icon.cacheKey());

    // While active, each change is pushed with both values.
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:02"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, ShellCall::Modify);
    EXPECT_EQ(calls[1].tip, QStringLiteral("Connected to Home: 00:00:02"));
    EXPECT_EQ(calls[1].iconKey, icon.cacheKey());

    // Setting the icon to itself does nothing.
    tray->setIcon(tray->Icon());
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(TrayIconTest, OnlyAnEmptyTipOnActivationIsRefreshedOnceAfterQueuedWork)
{
    tray->setActive(true);
    tray->setActive(false);
    handleQueued();
    ASSERT_EQ(calls.size(), 2u) << "no refresh once deactivated";

    calls.clear();
    tray->setActive(true);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, ShellCall::Add);
    // The caller's current work changes the icon after activating ...
    const QIcon icon = colouredIcon(Qt::blue);
    tray->setIcon(icon);
    calls.clear();
    // ... and the refresh, handled later, sends the values of then.
    handleQueued();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, ShellCall::Modify);
    EXPECT_EQ(calls[0].iconKey, icon.cacheKey());
    EXPECT_TRUE(calls[0].tip.isEmpty());

    // With a tip, activating queues no refresh.
    tray->setActive(false);
    tray->setToolTip(QStringLiteral("set"));
    calls.clear();
    tray->setActive(true);
    handleQueued();
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(TrayIconTest, ToolTipIsCutTo62Characters)
{
    const QString exact(62, QLatin1Char('a'));
    tray->setToolTip(exact);
    EXPECT_EQ(tray->ToolTip(), exact);

    tray->setToolTip(exact + QLatin1Char('b'));
    EXPECT_EQ(tray->ToolTip(), exact);

    // A character outside the basic plane is never cut in half.
    tray->setToolTip(QString(61, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\x9E"));
    EXPECT_EQ(tray->ToolTip(), QString(61, QLatin1Char('a')));
}

TEST_F(TrayIconTest, MouseActionsRaiseTheirEvents)
{
    std::vector<QString> raised;
    tray->OnClick = [&](QObject* sender) {
        EXPECT_EQ(sender, tray.get());
        raised.push_back(QStringLiteral("click"));
    };
    tray->OnDblClick = [&](QObject*) { raised.push_back(QStringLiteral("double")); };
    tray->OnRightClick = [&](QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        EXPECT_EQ(sender, tray.get());
        EXPECT_EQ(button, Qt::RightButton);
        EXPECT_EQ(shift, Qt::NoModifier);
        raised.push_back(QStringLiteral("right %1,%2").arg(x).arg(y));
    };

    // A double click reaches the component as release, double click, release.
    shell->handler(Action::LeftRelease);
    shell->handler(Action::LeftDoubleClick);
    shell->handler(Action::LeftRelease);
    // The position is where the cursor is when the event is handled.
    shell->cursor = QPoint(640, 12);
    shell->handler(Action::RightRelease);

    const std::vector<QString> expected { QStringLiteral("click"), QStringLiteral("double"), QStringLiteral("click"),
        QStringLiteral("right 640,12") };
    EXPECT_EQ(raised, expected);
}

TEST_F(TrayIconTest, RefusalsChangeNoState)
{
    shell->accepts = false;
    tray->setToolTip(QStringLiteral("tip"));
    tray->setActive(true);
    EXPECT_TRUE(tray->Active());
    tray->setToolTip(QStringLiteral("next"));
    EXPECT_EQ(calls.back().kind, ShellCall::Modify);

    tray->setActive(false);
    EXPECT_FALSE(tray->Active());
    EXPECT_EQ(calls.back().kind, ShellCall::Remove);
}

TEST_F(TrayIconTest, DestructionRemovesOnlyAnActiveIcon)
{
    tray.reset();
    EXPECT_TRUE(calls.empty());

    SetUp();
    tray->setToolTip(QStringLiteral("tip"));
    tray->setActive(true);
    tray.reset();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, ShellCall::Remove);
    EXPECT_EQ(calls[1].tip, QStringLiteral("tip"));

    // A refresh still queued for a destroyed component is dropped.
    SetUp();
    tray->setActive(true);
    tray.reset();
    calls.clear();
    handleQueued();
    EXPECT_TRUE(calls.empty());
}

} // namespace
