#pragma once

#include <exception>
#include <type_traits>
#include <utility>

// The program's top-level error handler. An exception that escapes one of the
// program's handlers ends that handler only: its message is shown and the
// program goes on with the next event. Every handler connected to a Qt signal
// or event is wrapped at that boundary, so no exception unwinds through Qt.
void showEscapedError(const char* message);

template <typename Handler> void runGuarded(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        showEscapedError(error.what());
    } catch (...) {
        showEscapedError("Unexpected error");
    }
}

// Calls the handler with the signal's arguments when it takes them, else
// without any.
template <typename Handler, typename... Args> void invokeWithOrWithout(const Handler& handler, Args&&... args)
{
    if constexpr (std::is_invocable_v<const Handler&, Args...>)
        handler(std::forward<Args>(args)...);
    else
        handler();
}

// A slot for connect(): the handler, wrapped as above.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler = std::move(handler)](auto&&... args) {
        runGuarded([&] { invokeWithOrWithout(handler, std::forward<decltype(args)>(args)...); });
    };
}
