#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

namespace vorn
{

// The top-level windows of the desktop, as the user sees them: with a window
// manager these are the programs' own windows, not the manager's frames.
// An instance is one connection to the display; use it from one thread only.
class DesktopWindows
{
public:
    using WindowId = std::uint32_t;

    struct Window {
        WindowId id = 0;
        QString title;
        // Shown (or minimized), as opposed to hidden or withdrawn.
        bool visible = false;
    };

    enum class Wait { Changed, Quiet, Broken };

    virtual ~DesktopWindows() = default;

    // Topmost first; nothing when the display cannot be reached. A display
    // that does not answer is waited for until a stop is requested.
    virtual std::optional<std::vector<Window>> topLevelWindows(std::stop_token stop = {}) = 0;

    // Hides a window of any program so that the window manager forgets it too;
    // waits for the display as topLevelWindows() does.
    virtual bool hide(WindowId window, std::stop_token stop = {}) = 0;

    // Blocks until a window may have appeared, been shown or been renamed
    // (Changed), until the timeout passes or a stop is requested (Quiet), or
    // until the display goes away (Broken).
    virtual Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) = 0;
};

} // namespace vorn
