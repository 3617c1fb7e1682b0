#pragma once

#include <memory>

// The one place that picks the implementation of each operating-system
// service. Components take their service in the constructor and default to
// what these functions return.
namespace vorn
{
class DesktopWindows;
class NotificationArea;
class Sound;
} // namespace vorn

namespace vorn::platform
{

// One icon in the notification area; needs the widget library (vorn_ui).
std::unique_ptr<NotificationArea> notificationArea();

// A new connection to the display, for use by one thread.
std::unique_ptr<DesktopWindows> desktopWindows();

std::unique_ptr<Sound> sound();

} // namespace vorn::platform
