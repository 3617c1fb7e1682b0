#pragma once

#include "platform/DesktopWindows.h"

#include <QByteArray>

#include <span>
#include <unordered_set>
#include <xcb/xcb.h>

namespace vorn {

// X11 through xcb, with or without a window manager. Titles come from
// _NET_WM_NAME, else WM_NAME. The connection selects the events that tell
// when a window is created, mapped or renamed, so a caller can sleep in
// waitForChange() instead of polling.
class XcbDesktopWindows final : public DesktopWindows {
public:
    // display: an X display name such as ":1"; empty for $DISPLAY.
    explicit XcbDesktopWindows(const QByteArray& display = {});
    ~XcbDesktopWindows() override;
    XcbDesktopWindows(const XcbDesktopWindows&) = delete;
    XcbDesktopWindows& operator=(const XcbDesktopWindows&) = delete;

    std::optional<std::vector<Window>> topLevelWindows() override;
    bool hide(WindowId window) override;
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override;

private:
    struct Client {
        xcb_window_t window = XCB_WINDOW_NONE;
        bool iconic = false;
    };

    bool broken() const;
    std::vector<Client> findClients(std::span<const xcb_window_t> rootChildren);
    void watch(xcb_window_t window);
    bool takeEvents();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
    xcb_atom_t utf8String_ = XCB_ATOM_NONE;
    xcb_atom_t wmState_ = XCB_ATOM_NONE;
    int wakeFd_ = -1;
    std::unordered_set<xcb_window_t> watched_;
};

} // namespace vorn
