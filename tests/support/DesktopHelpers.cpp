#include "support/DesktopHelpers.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QUuid>

#include <signal.h>

using namespace std::chrono_literals;

namespace vorn::test
{

namespace
{

void freezeProcess(const QProcess& process, bool frozen)
{
    if (process.state() == QProcess::Running)
        kill(pid_t(process.processId()), frozen ? SIGSTOP : SIGCONT);
}

// Thaws the server, asks it to end and kills it if it does not.
void stopServer(QProcess& server)
{
    if (server.state() == QProcess::NotRunning)
        return;
    freezeProcess(server, false);
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
    server.waitForFinished();
}

} // namespace

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
    stopServer(server_);
}

void PrivateDisplay::freeze(bool frozen)
{
    freezeProcess(server_, frozen);
}

PrivateSoundServer::PrivateSoundServer()
{
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "PULSE_CONFIG_PATH" })
        env.insert(QString::fromLatin1(name), dir_.path());
    server_.setProcessEnvironment(env);
    server_.start(QStringLiteral("pulseaudio"),
        { QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
            QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"), QStringLiteral("-L"),
            QStringLiteral("module-null-sink"), QStringLiteral("-L"),
            QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=")
                + dir_.filePath(QStringLiteral("native")) });
    ok_ = server_.waitForStarted(5000)
        && waitUntil([this] { return pactl({ QStringLiteral("info") }).exitCode == 0; }, 10s);
}

PrivateSoundServer::~PrivateSoundServer()
{
    stopServer(server_);
}

QByteArray PrivateSoundServer::address() const
{
    return "unix:" + QFile::encodeName(dir_.filePath(QStringLiteral("native")));
}

bool PrivateSoundServer::playing() const
{
    return !pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs") })
                .out.trimmed()
                .isEmpty();
}

RunResult PrivateSoundServer::pactl(const QStringList& args) const
{
    return runProgram(
        QStringLiteral("pactl"), QStringList { QStringLiteral("-s"), QString::fromUtf8(address()) } + args);
}

void PrivateSoundServer::freeze(bool frozen)
{
    freezeProcess(server_, frozen);
}

} // namespace vorn::test
