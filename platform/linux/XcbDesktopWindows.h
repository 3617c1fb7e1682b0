#pragma once

#include "platform/DesktopWindows.h"

#include <QByteArray>

#include <xcb/xcb.h>

#include <span>
#include <unordered_map>
#include <unordered_set>

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
    struct Client {
        xcb_window_t window = XCB_WINDOW_NONE;
        bool iconic = false;
        bool framed = false; // found below a frame by its WM_STATE
    };

    bool broken() const;
    // The reply to request `sequence`, to be freed; null after an error, a
    // stop request, or `timeoutMs` (negative: no limit) without an answer.
    void* awaitReply(unsigned sequence, const std::stop_token& stop, int timeoutMs = -1);
    void wakeUp();
    std::vector<Client> clientsOf(std::span<const xcb_window_t> rootChildren, const std::stop_token& stop);
    std::vector<Client> findClients(std::span<const xcb_window_t> rootChildren, const std::stop_token& stop);
    void watch(xcb_window_t window);
    void forget(xcb_window_t window, bool withUnframed);
    bool takeEvents();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
    xcb_atom_t utf8String_ = XCB_ATOM_NONE;
    xcb_atom_t wmState_ = XCB_ATOM_NONE;
    int wakeFd_ = -1;
    std::unordered_set<xcb_window_t> watched_;
    // Root child -> the program's window in it. A frame keeps its client until
    // a reparenting or a WM_STATE change involves them, so it is searched once.
    std::unordered_map<xcb_window_t, Client> clientOf_;
};

} // namespace vorn
