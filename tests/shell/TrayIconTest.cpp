// TTrayIcon against a recording notification area.
#include "shell/TrayIcon.h"

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
    // The kinds of the requests sent since the last call.
    std::vector<ShellCall::Kind> sent()
    {
        std::vector<ShellCall::Kind> kinds;
        for (const auto& call : calls)
            kinds.push_back(call.kind);
        calls.clear();
        return kinds;
    }
    static void handleQueued() { QCoreApplication::processEvents(); }
};

using Kinds = std::vector<ShellCall::Kind>;

TEST_F(TrayIconTest, AddsOnceWithWhatWasSetRemovesOnlyWhatIsShownAndRefusalsChangeNoState)
{
    tray->setActive(false);
    const QIcon icon = colouredIcon(Qt::red);
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:01"));
    tray->setIcon(icon);
    EXPECT_TRUE(calls.empty());

    tray->setActive(true);
    tray->setActive(true);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].tip, QStringLiteral("Connected to Home: 00:00:01"));
    EXPECT_EQ(calls[0].iconKey, icon.cacheKey());
    EXPECT_EQ(sent(), Kinds { ShellCall::Add });

    // While active, each change is pushed with both values; the icon set to itself is no change.
    tray->setToolTip(QStringLiteral("Connected to Home: 00:00:02"));
    tray->setIcon(tray->Icon());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].tip, QStringLiteral("Connected to Home: 00:00:02"));
    EXPECT_EQ(calls[0].iconKey, icon.cacheKey());
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
}

TEST_F(TrayIconTest, OnlyAnEmptyTipOnActivationIsRefreshedOnceAfterQueuedWork)
{
    tray->setActive(true);
    tray->setActive(false);
    handleQueued();
    EXPECT_EQ(sent(), (Kinds { ShellCall::Add, ShellCall::Remove })) << "no refresh once deactivated";

    tray->setActive(true);
    // The caller's current work changes the icon after activating, and the
    // refresh, handled later, sends the values of then.
    const QIcon icon = colouredIcon(Qt::blue);
    tray->setIcon(icon);
    EXPECT_EQ(sent(), (Kinds { ShellCall::Add, ShellCall::Modify }));
    handleQueued();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].iconKey, icon.cacheKey());
    EXPECT_TRUE(calls[0].tip.isEmpty());
    EXPECT_EQ(sent(), Kinds { ShellCall::Modify });

    // With a tip, activating queues no refresh.
    tray->setActive(false);
    tray->setToolTip(QStringLiteral("set"));
    sent();
    tray->setActive(true);
    handleQueued();
    EXPECT_EQ(sent(), Kinds { ShellCall::Add });
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

TEST_F(TrayIconTest, MouseActionsRaiseTheirEvents)
{
    std::vector<QString> raised;
    tray->OnClick = [&](QObject* sender) { raised.push_back(sender == tray.get() ? "click" : "click by another"); };
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
    EXPECT_EQ(raised, (std::vector<QString> { "click", "double", "click", "right 640,12" }));
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
    EXPECT_EQ(calls[1].tip, QStringLiteral("tip"));
    EXPECT_EQ(sent(), (Kinds { ShellCall::Add, ShellCall::Remove }));

    // A refresh still queued for a destroyed component is dropped.
    SetUp();
    tray->setActive(true);
    tray.reset();
    sent();
    handleQueued();
    EXPECT_TRUE(calls.empty());
}

} // namespace
