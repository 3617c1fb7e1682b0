#pragma once

// Windows of other programs on a real X display, for the integration tests.
#include "platform/DesktopWindows.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <optional>

namespace vorn::test
{

// An xmessage window with the given title, closed when this goes away.
// `display` empty: the test session's display.
class MessageWindow
{
public:
    explicit MessageWindow(const QString& title, const QString& display = {});
    ~MessageWindow();
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

std::optional<DesktopWindows::Window> findWindow(DesktopWindows& desktop, const QString& title);

// Waits until a window with that title is listed with the given visibility.
std::optional<DesktopWindows::Window> waitForWindow(DesktopWindows& desktop, const QString& title, bool visible);

// Whether the window manager lists the window among those it manages.
bool managedByWindowManager(DesktopWindows::WindowId id);

// Runs xdotool (or another X tool) against the session's display; true on success.
bool xtool(const QString& program, const QStringList& args);

// A title no other test uses at the same time.
QString uniqueTitle(const QString& base);

// A second X server without window manager, stopped when this goes away.
class PrivateDisplay
{
public:
    PrivateDisplay();
    ~PrivateDisplay();
    bool ok() const { return !name_.isEmpty(); }
    QString name() const { return name_; }
    void stop();
    // A frozen server accepts connections and requests but answers nothing.
    void freeze(bool frozen);

private:
    QProcess server_;
    QString name_;
};

// A sound server of its own with a null sink, stopped when this goes away.
class PrivateSoundServer
{
public:
    PrivateSoundServer();
    ~PrivateSoundServer();
    bool ok() const { return ok_; }
    QByteArray address() const;
    // Whether a sound plays into it.
    bool playing() const;
    void freeze(bool frozen);

private:
    RunResult pactl(const QStringList& args) const;

    QTemporaryDir dir_;
    QProcess server_;
    bool ok_ = false;
};

} // namespace vorn::test
