// The tray icon in the test desktop's tray host, clicked with xdotool.
#include "platform/DesktopHelpers.h"
#include "platform/qt/QtNotificationArea.h"
#include "shell/TrayIcon.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QMap>
#include <QPixmap>
#include <QToolTip>

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using vorn::test::waitUntil;

namespace
{

const QString Tip = QStringLiteral("Connected to Home: 00:00:05");

class TrayIconDesktopTest : public ::testing::Test
{
protected:
    std::unique_ptr<TTrayIcon> tray;
    QPoint centre;
    std::vector<QString> raised;

    void SetUp() override
    {
        ASSERT_TRUE(vorn::test::inTestSession()) << "run through scripts/test-session.sh";
        tray = std::make_unique<TTrayIcon>(nullptr, std::make_unique<vorn::QtNotificationArea>());
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::darkGreen);
        tray->setIcon(QIcon(pixmap));
        tray->setToolTip(Tip);
        tray->OnClick = [this](QObject*) { raised.push_back(QStringLiteral("click")); };
        tray->OnDblClick = [this](QObject*) { raised.push_back(QStringLiteral("double")); };
        tray->OnRightClick = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
            raised.push_back(QStringLiteral("right %1,%2").arg(x).arg(y));
        };
        tray->setActive(true);
        // The tray host docks the icon and then moves it into its place.
        QRect settled;
        ASSERT_TRUE(waitUntil(
            [&] {
                const QRect now = iconGeometry();
                const bool same = !now.isEmpty() && now == settled;
                settled = now;
                return same;
            },
            10s))
            << "docked in the tray host";
        centre = settled.center();
        ASSERT_TRUE(xdotool({ QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()) }));
    }

    // The icon window of this process, as the X server places it on the screen.
    static QRect iconGeometry()
    {
        const auto search = vorn::test::runProgram(QStringLiteral("xdotool"),
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--classname"),
                QCoreApplication::applicationName() });
        const QByteArray window = search.out.trimmed();
        if (search.exitCode != 0 || window.isEmpty() || window.contains('\n'))
            return {};
        const auto shell = vorn::test::runProgram(QStringLiteral("xdotool"),
            { QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(window) });
        QMap<QByteArray, int> values;
        for (const QByteArray& line : shell.out.split('\n')) {
            const auto parts = line.split('=');
            if (parts.size() == 2)
                values[parts[0]] = parts[1].toInt();
        }
        return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
    }

    static bool xdotool(const QStringList& args) { return vorn::test::xtool(QStringLiteral("xdotool"), args); }

    bool raisedBecomes(const std::vector<QString>& expected)
    {
        waitUntil([&] { return raised.size() >= expected.size(); }, 5s);
        // Nothing more may follow.
        waitUntil([] { return false; }, 200ms);
        return raised == expected;
    }
};

TEST_F(TrayIconDesktopTest, IconShowsItsTip)
{
    EXPECT_TRUE(waitUntil([] { return QToolTip::isVisible() && QToolTip::text() == Tip; }, 10s));
}

TEST_F(TrayIconDesktopTest, ReleasesRaiseTheEventsWithTheCursorPosition)
{
    ASSERT_TRUE(xdotool({ QStringLiteral("mousedown"), QStringLiteral("1") }));
    EXPECT_TRUE(raisedBecomes({})) << "a press raises nothing";
    ASSERT_TRUE(xdotool({ QStringLiteral("mouseup"), QStringLiteral("1") }));
    EXPECT_TRUE(raisedBecomes({ QStringLiteral("click") }));

    raised.clear();
    ASSERT_TRUE(xdotool({ QStringLiteral("click"), QStringLiteral("3") }));
    EXPECT_TRUE(raisedBecomes({ QStringLiteral("right %1,%2").arg(centre.x()).arg(centre.y()) }));

    raised.clear();
    ASSERT_TRUE(xdotool({ QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
        QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1") }));
    EXPECT_TRUE(raisedBecomes({ QStringLiteral("click"), QStringLiteral("double"), QStringLiteral("click") }));
}

TEST_F(TrayIconDesktopTest, DeactivatingRemovesTheIcon)
{
    tray->setActive(false);
    EXPECT_TRUE(waitUntil([] { return iconGeometry().isEmpty(); }, 5s));
    ASSERT_TRUE(xdotool({ QStringLiteral("click"), QStringLiteral("1") }));
    EXPECT_TRUE(raisedBecomes({}));
}

} // namespace
