#pragma once

// Other programs' windows and private servers for the integration tests.
#include "platform/DesktopWindows.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <signal.h>

#include <optional>

namespace vorn::test
{

// An xmessage window, on the test session's display unless `display` is set.
class MessageWindow
{
public:
    explicit MessageWindow(const QString& title, const QString& display = {})
    {
        if (!display.isEmpty()) {
            auto env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), display);
            process_.setProcessEnvironment(env);
        }
        process_.start(
            QStringLiteral("xmessage"), { QStringLiteral("-title"), title, QStringLiteral("VORN95 test window") });
    }
    ~MessageWindow()
    {
        process_.kill();
        process_.waitForFinished();
    }
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

// Waits until a window with that title is listed with the given visibility.
inline std::optional<DesktopWindows::Window> waitForWindow(DesktopWindows& desktop, const QString& title, bool visible)
{
    std::optional<DesktopWindows::Window> found;
    const auto listed = [&] {
        for (const auto& window : desktop.topLevelWindows().value_or(std::vector<DesktopWindows::Window> {}))
            if (window.title == title && window.visible == visible)
                found = window;
        return found.has_value();
    };
    return waitUntil(listed, std::chrono::seconds(10)) ? found : std::nullopt;
}

inline bool xtool(const QString& program, const QStringList& args)
{
    return runProgram(program, args).exitCode == 0;
}

// Whether the window manager lists the window among those it manages.
inline bool managedByWindowManager(DesktopWindows::WindowId id)
{
    const auto clients
        = runProgram(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST") });
    return QString::fromLatin1(clients.out).contains(QStringLiteral("0x%1").arg(id, 0, 16));
}

// A title no other test uses at the same time.
inline QString uniqueTitle(const QString& base)
{
    return base + QLatin1Char(' ') + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

// A server of the test's own, thawed and stopped when this goes away.
class PrivateServer
{
public:
    ~PrivateServer() { stop(); }
    void stop()
    {
        if (server_.state() == QProcess::NotRunning)
            return;
        freeze(false);
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished();
    }
    // Frozen: takes connections and requests, answers nothing.
    void freeze(bool frozen)
    {
        if (server_.state() == QProcess::Running)
            kill(pid_t(server_.processId()), frozen ? SIGSTOP : SIGCONT);
    }

protected:
    QProcess server_;
};

// A second X server without window manager.
class PrivateDisplay : public PrivateServer
{
public:
    PrivateDisplay()
    {
        server_.start(QStringLiteral("Xvfb"),
            QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 640x480x24").split(QLatin1Char(' ')));
        if (server_.waitForStarted(5000)
            && waitUntil([this] { return server_.canReadLine(); }, std::chrono::seconds(10)))
            name_ = QStringLiteral(":") + QString::fromLatin1(server_.readLine().trimmed());
    }
    bool ok() const { return !name_.isEmpty(); }
    QString name() const { return name_; }

private:
    QString name_;
};

// A sound server with a null sink.
class PrivateSoundServer : public PrivateServer
{
public:
    PrivateSoundServer()
    {
        auto env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "PULSE_CONFIG_PATH" })
            env.insert(QString::fromLatin1(name), dir_.path());
        server_.setProcessEnvironment(env);
        QStringList args = QStringLiteral("-n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes")
                               .split(QLatin1Char(' '));
        args << QStringLiteral("-L") << QStringLiteral("module-null-sink") << QStringLiteral("-L")
             << QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket();
        server_.start(QStringLiteral("pulseaudio"), args);
        ok_ = server_.waitForStarted(5000)
            && waitUntil([this] { return pactl({ QStringLiteral("info") }).exitCode == 0; }, std::chrono::seconds(10));
    }
    ~PrivateSoundServer() { stop(); } // before its folder goes
    bool ok() const { return ok_; }
    QByteArray address() const { return "unix:" + QFile::encodeName(socket()); }
    // Whether a sound plays into it.
    bool playing() const
    {
        return !pactl(QStringLiteral("list short sink-inputs").split(QLatin1Char(' '))).out.trimmed().isEmpty();
    }

private:
    QString socket() const { return dir_.filePath(QStringLiteral("native")); }
    RunResult pactl(const QStringList& args) const
    {
        return runProgram(
            QStringLiteral("pactl"), QStringList { QStringLiteral("-s"), QString::fromUtf8(address()) } + args);
    }

    QTemporaryDir dir_;
    bool ok_ = false;
};

} // namespace vorn::test
