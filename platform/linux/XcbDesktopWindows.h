#pragma once

#include "platform/DesktopWindows.h"

#include <QByteArray>

#include <memory>

namespace vorn
{

// X11 through xcb, with or without a window manager. Titles come from
// _NET_WM_NAME, else WM_NAME. The connection selects the events that tell
// when a window is created, mapped or renamed, so a caller can sleep in
// waitForChange() instead of polling. Every wait for the server also ends at
// a stop request, so a server that hangs holds up no caller that gives up.
class XcbDesktopWindows final : public DesktopWindows
{
public:
    // display: an X display name such as ":1"; empty for $DISPLAY. A display
    // that cannot be reached, or has no such screen, is reported once and
    // then answers as one that has gone away.
    explicit XcbDesktopWindows(const QByteArray& display = {});
    ~XcbDesktopWindows() override;
    XcbDesktopWindows(const XcbDesktopWindows&) = delete;
    XcbDesktopWindows& operator=(const XcbDesktopWindows&) = delete;

    std::optional<std::vector<Window>> topLevelWindows(std::stop_token stop = {}) override;
    bool hide(WindowId window, std::stop_token stop = {}) override;
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override;

    // How long closing waits for the server to handle what was sent.
    static constexpr std::chrono::milliseconds CloseTimeout { 500 };

private:
    // The connection to the display and what it has learnt of its windows;
    // xcb's types stay out of this header, so its users need no xcb.
    class Connection;
    std::unique_ptr<Connection> display_;
};

} // namespace vorn
