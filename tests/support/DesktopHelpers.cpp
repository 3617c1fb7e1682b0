#include "support/DesktopHelpers.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QUuid>

using namespace std::chrono_literals;

namespace vorn::test
{

MessageWindow::MessageWindow(const QString& title, const QString& display)
{
    if (!display.isEmpty()) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        process_.setProcessEnvironment(env);
    }
    process_.start(
        QStringLiteral("xmessage"), { QStringLiteral("-title"), title, QStringLiteral("VORN95 test window") });
}

MessageWindow::~MessageWindow()
{
    process_.kill();
    process_.waitForFinished();
}

std::optional<DesktopWindows::Window> findWindow(DesktopWindows& desktop, const QString& title)
{
    const auto windows = desktop.topLevelWindows();
    if (!windows)
        return std::nullopt;
    for (const auto& window : *windows)
        if (window.title == title)
            return window;
    return std::nullopt;
}

std::optional<DesktopWindows::Window> waitForWindow(DesktopWindows& desktop, const QString& title, bool visible)
{
    std::optional<DesktopWindows::Window> found;
    waitUntil(
        [&] {
            found = findWindow(desktop, title);
            return found && found->visible == visible;
        },
        10s);
    return found && found->visible == visible ? found : std::nullopt;
}

bool managedByWindowManager(DesktopWindows::WindowId id)
{
    const auto clients
        = runProgram(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST") });
    return QString::fromLatin1(clients.out).contains(QStringLiteral("0x%1").arg(id, 0, 16));
}

bool xtool(const QString& program, const QStringList& args)
{
    return runProgram(program, args).exitCode == 0;
}

QString uniqueTitle(const QString& base)
{
    return base + QLatin1Char(' ') + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

PrivateDisplay::PrivateDisplay()
{
    // Xvfb picks a free display number and prints it.
    server_.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
            QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24") });
    if (!server_.waitForStarted(5000))
        return;
    waitUntil([this] { return server_.canReadLine(); }, 10s);
    const QByteArray number = server_.readLine().trimmed();
    if (!number.isEmpty())
        name_ = QStringLiteral(":") + QString::fromLatin1(number);
}

PrivateDisplay::~PrivateDisplay()
{
    stop();
}

void PrivateDisplay::stop()
{
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(5000))
        server_.kill();
    server_.waitForFinished();
}

} // namespace vorn::test
