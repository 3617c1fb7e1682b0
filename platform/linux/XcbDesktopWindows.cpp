#include "platform/linux/XcbDesktopWindows.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace vorn
{

namespace
{

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

template <typename T> Reply<T> own(T* reply)
{
    return Reply<T>(reply);
}

template <typename T> Reply<T> own(void* reply)
{
    return Reply<T>(static_cast<T*>(reply));
}

// ICCCM WM_STATE values.
constexpr std::uint32_t IconicState = 3;

// Window managers put a client at most this deep below their frame.
constexpr int MaxFrameDepth = 2;

// Longest title read, in 32-bit units (4 KiB).
constexpr std::uint32_t TitleLength = 1024;

constexpr std::uint32_t ClientEvents = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

xcb_atom_t replyAtom(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie)
{
    const auto reply = own(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The text before the first NUL; a missing property gives a null string.
QString propertyText(const xcb_get_property_reply_t* reply, xcb_atom_t utf8String)
{
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8)
        return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    const auto length = strnlen(data, std::size_t(xcb_get_property_value_length(reply)));
    if (reply->type == utf8String)
        return QString::fromUtf8(data, qsizetype(length));
    // STRING is Latin-1; COMPOUND_TEXT titles are read the same way, which is
    // right for their ASCII and Latin-1 parts.
    return QString::fromLatin1(data, qsizetype(length));
}

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, TitleLength);
}

} // namespace

class XcbDesktopWindows::Connection
{
public:
    explicit Connection(const QByteArray& display);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::optional<std::vector<Window>> topLevelWindows(std::stop_token stop);
    bool hide(WindowId window, std::stop_token stop);
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop);

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

XcbDesktopWindows::Connection::Connection(const QByteArray& display)
{
    const QByteArray displayName = display.isEmpty() ? qgetenv("DISPLAY") : display;
    int screenNumber = 0;
    connection_ = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (broken()) {
        if (displayName.isEmpty())
            qWarning("no X display: DISPLAY is not set");
        else
            qWarning("cannot connect to X display \"%s\"", displayName.constData());
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    const int screenCount = screens.rem;
    if (screenNumber >= screenCount) {
        qWarning("X display \"%s\" has no screen %d (it has %d)", displayName.constData(), screenNumber, screenCount);
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;

    // Root children appearing, being mapped or reparented into frames.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &rootEvents);

    const auto intern
        = [this](const char* name) { return xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name); };
    const auto netWmName = intern("_NET_WM_NAME");
    const auto utf8String = intern("UTF8_STRING");
    const auto wmState = intern("WM_STATE");
    netWmName_ = replyAtom(connection_, netWmName);
    utf8String_ = replyAtom(connection_, utf8String);
    wmState_ = replyAtom(connection_, wmState);
}

XcbDesktopWindows::Connection::~Connection()
{
    // Requests still buffered or in flight are dropped by a bare disconnect;
    // a round trip makes sure the server has handled them, unless it hangs.
    if (!broken())
        std::free(awaitReply(xcb_get_input_focus(connection_).sequence, {}, int(CloseTimeout.count())));
    xcb_disconnect(connection_);
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

bool XcbDesktopWindows::Connection::broken() const
{
    return !connection_ || xcb_connection_has_error(connection_) != 0;
}

// xcb's own wait for a reply has no end when the server hangs; this one
// polls the connection beside the wake-up of a stop request.
void* XcbDesktopWindows::Connection::awaitReply(unsigned sequence, const std::stop_token& stop, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    xcb_flush(connection_);
    while (true) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, sequence, &reply, &error) != 0) {
            std::free(error);
            return reply;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            wait = int(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (wait <= 0)
                return nullptr;
        }
        if (stop.stop_requested())
            return nullptr;
        pollfd fds[] = { { xcb_get_file_descriptor(connection_), POLLIN, 0 }, { wakeFd_, POLLIN, 0 } };
        poll(fds, 2, wait);
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read_ = read(wakeFd_, &count, sizeof count);
        }
    }
}

void XcbDesktopWindows::Connection::wakeUp()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wakeFd_, &one, sizeof one);
}

std::optional<std::vector<DesktopWindows::Window>> XcbDesktopWindows::Connection::topLevelWindows(std::stop_token stop)
{
    if (broken())
        return std::nullopt;
    const std::stop_callback wake(stop, [this] { wakeUp(); });
    // Events so far are covered by this listing; only their bookkeeping counts.
    takeEvents();
    const auto tree = own<xcb_query_tree_reply_t>(awaitReply(xcb_query_tree(connection_, root_).sequence, stop));
    if (!tree || broken())
        return std::nullopt;
    const std::span<const xcb_window_t> children(
        xcb_query_tree_children(tree.get()), std::size_t(xcb_query_tree_children_length(tree.get())));
    const auto clients = clientsOf(children, stop);

    struct Requests {
        xcb_get_property_cookie_t netWmName;
        xcb_get_property_cookie_t wmName;
        xcb_get_window_attributes_cookie_t attributes;
    };
    std::vector<Requests> requests;
    requests.reserve(clients.size());
    for (const auto& client : clients) {
        requests.push_back({ requestProperty(connection_, client.window, netWmName_),
            requestProperty(connection_, client.window, XCB_ATOM_WM_NAME),
            xcb_get_window_attributes(connection_, client.window) });
        watch(client.window);
    }

    std::vector<Window> windows;
    windows.reserve(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const auto netWmName = own<xcb_get_property_reply_t>(awaitReply(requests[i].netWmName.sequence, stop));
        const auto wmName = own<xcb_get_property_reply_t>(awaitReply(requests[i].wmName.sequence, stop));
        const auto attributes
            = own<xcb_get_window_attributes_reply_t>(awaitReply(requests[i].attributes.sequence, stop));
        if (!attributes)
            continue; // destroyed meanwhile
        QString title = propertyText(netWmName.get(), utf8String_);
        if (title.isNull())
            title = propertyText(wmName.get(), utf8String_);
        const bool visible = attributes->map_state != XCB_MAP_STATE_UNMAPPED || clients[i].iconic;
        windows.push_back({ clients[i].window, title, visible });
    }
    if (broken() || stop.stop_requested())
        return std::nullopt;
    // The server lists bottom to top; callers expect the topmost first.
    std::reverse(windows.begin(), windows.end());
    return windows;
}

std::vector<XcbDesktopWindows::Connection::Client> XcbDesktopWindows::Connection::clientsOf(
    std::span<const xcb_window_t> rootChildren, const std::stop_token& stop)
{
    std::vector<xcb_window_t> unknown;
    for (const auto child : rootChildren)
        if (!clientOf_.contains(child))
            unknown.push_back(child);
    const auto found = findClients(unknown, stop);
    for (std::size_t i = 0; i < unknown.size(); ++i)
        clientOf_[unknown[i]] = found[i];

    std::unordered_map<xcb_window_t, Client> present;
    std::vector<Client> clients;
    clients.reserve(rootChildren.size());
    for (const auto child : rootChildren) {
        clients.push_back(clientOf_[child]);
        present.emplace(child, clients.back());
    }
    clientOf_ = std::move(present);
    return clients;
}

// A root child is either a program's window or a window manager's frame; the
// program's window is the one carrying WM_STATE, set by the manager.
std::vector<XcbDesktopWindows::Connection::Client> XcbDesktopWindows::Connection::findClients(
    std::span<const xcb_window_t> rootChildren, const std::stop_token& stop)
{
    std::vector<Client> clients(rootChildren.size());
    std::vector<std::vector<xcb_window_t>> candidates(rootChildren.size());
    std::vector<bool> found(rootChildren.size(), false);
    for (std::size_t i = 0; i < rootChildren.size(); ++i) {
        clients[i].window = rootChildren[i];
        candidates[i] = { rootChildren[i] };
    }
    for (int depth = 0; depth <= MaxFrameDepth; ++depth) {
        std::vector<std::vector<xcb_get_property_cookie_t>> states(candidates.size());
        for (std::size_t i = 0; i < candidates.size(); ++i)
            for (const auto window : candidates[i])
                states[i].push_back(xcb_get_property(connection_, 0, window, wmState_, wmState_, 0, 2));
        bool searchDeeper = false;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            for (std::size_t k = 0; k < states[i].size(); ++k) {
                const auto state = own<xcb_get_property_reply_t>(awaitReply(states[i][k].sequence, stop));
                if (found[i] || !state || state->type != wmState_ || xcb_get_property_value_length(state.get()) < 4)
                    continue;
                found[i] = true;
                clients[i].framed = true;
                clients[i].window = candidates[i][k];
                clients[i].iconic
                    = *static_cast<const std::uint32_t*>(xcb_get_property_value(state.get())) == IconicState;
            }
            if (found[i])
                candidates[i].clear();
            searchDeeper = searchDeeper || !candidates[i].empty();
        }
        if (!searchDeeper || depth == MaxFrameDepth)
            break;

        std::vector<std::vector<xcb_query_tree_cookie_t>> trees(candidates.size());
        for (std::size_t i = 0; i < candidates.size(); ++i)
            for (const auto window : candidates[i])
                trees[i].push_back(xcb_query_tree(connection_, window));
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            std::vector<xcb_window_t> below;
            for (const auto cookie : trees[i]) {
                const auto tree = own<xcb_query_tree_reply_t>(awaitReply(cookie.sequence, stop));
                if (!tree)
                    continue;
                const auto* children = xcb_query_tree_children(tree.get());
                below.insert(below.end(), children, children + xcb_query_tree_children_length(tree.get()));
            }
            candidates[i] = std::move(below);
        }
    }
    // A root child without a client below it is a top-level window itself
    // (no window manager, or a window the manager does not frame).
    return clients;
}

void XcbDesktopWindows::Connection::watch(xcb_window_t window)
{
    if (watched_.insert(window).second)
        xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &ClientEvents);
}

void XcbDesktopWindows::Connection::forget(xcb_window_t window, bool withUnframed)
{
    std::erase_if(clientOf_, [&](const auto& entry) {
        const auto& [child, client] = entry;
        return child == window || client.window == window || (withUnframed && !client.framed);
    });
}

// Handles the queued events; true when one of them may have shown a window
// or changed a title.
bool XcbDesktopWindows::Connection::takeEvents()
{
    bool changed = false;
    xcb_flush(connection_);
    while (const auto event = own(xcb_poll_for_event(connection_))) {
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY:
            // Watch it from birth, so its mapping under a frame wakes us.
            watch(reinterpret_cast<const xcb_create_notify_event_t*>(event.get())->window);
            break;
        case XCB_DESTROY_NOTIFY:
            watched_.erase(reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get())->window);
            break;
        case XCB_MAP_NOTIFY:
            changed = true;
            break;
        case XCB_REPARENT_NOTIFY: {
            const auto* reparent = reinterpret_cast<const xcb_reparent_notify_event_t*>(event.get());
            forget(reparent->window, false);
            forget(reparent->parent, false);
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            // A window that gains WM_STATE may sit in a frame taken for a plain window.
            if (property->atom == wmState_)
                forget(property->window, true);
            changed = changed || property->atom == XCB_ATOM_WM_NAME || property->atom == netWmName_
                || property->atom == wmState_;
            break;
        }
        default: // unmaps, moves, and errors about windows already gone
            break;
        }
    }
    return changed;
}

DesktopWindows::Wait XcbDesktopWindows::Connection::waitForChange(
    std::chrono::milliseconds timeout, std::stop_token stop)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    if (broken())
        return Wait::Broken;
    const std::stop_callback wake(stop, [this] { wakeUp(); });
    while (true) {
        if (takeEvents())
            return Wait::Changed;
        if (broken())
            return Wait::Broken;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (stop.stop_requested() || left.count() <= 0)
            return Wait::Quiet;
        pollfd fds[] = { { xcb_get_file_descriptor(connection_), POLLIN, 0 }, { wakeFd_, POLLIN, 0 } };
        poll(fds, 2, int(left.count()));
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read_ = read(wakeFd_, &count, sizeof count);
        }
    }
}

bool XcbDesktopWindows::Connection::hide(WindowId window, std::stop_token stop)
{
    if (broken())
        return false;
    const std::stop_callback wake(stop, [this] { wakeUp(); });
    const auto unmap = xcb_unmap_window_checked(connection_, window);
    // ICCCM withdrawal: the synthetic UnmapNotify tells the window manager to
    // forget the window, not merely to keep an empty frame or an icon for it.
    xcb_unmap_notify_event_t notice {};
    notice.response_type = XCB_UNMAP_NOTIFY;
    notice.event = root_;
    notice.window = window;
    char bytes[32] = {};
    std::memcpy(bytes, &notice, sizeof notice);
    xcb_send_event(
        connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, bytes);
    // Once the server has answered a later request, checking for an error
    // of the unmapping waits no more.
    if (!own<xcb_get_input_focus_reply_t>(awaitReply(xcb_get_input_focus(connection_).sequence, stop)))
        return false;
    const auto error = own(xcb_request_check(connection_, unmap));
    return !error && !broken();
}

XcbDesktopWindows::XcbDesktopWindows(const QByteArray& display)
    : display_(std::make_unique<Connection>(display))
{
}

XcbDesktopWindows::~XcbDesktopWindows() = default;

std::optional<std::vector<DesktopWindows::Window>> XcbDesktopWindows::topLevelWindows(std::stop_token stop)
{
    return display_->topLevelWindows(std::move(stop));
}

bool XcbDesktopWindows::hide(WindowId window, std::stop_token stop)
{
    return display_->hide(window, std::move(stop));
}

DesktopWindows::Wait XcbDesktopWindows::waitForChange(std::chrono::milliseconds timeout, std::stop_token stop)
{
    return display_->waitForChange(timeout, std::move(stop));
}

} // namespace vorn
