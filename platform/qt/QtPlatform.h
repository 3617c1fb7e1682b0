#pragma once

#include <memory>

// The factory of the services that need Qt Widgets, for the UI library; the
// others come from platform/Platform.h.
namespace vorn
{
class NotificationArea;
} // namespace vorn

namespace vorn::platform
{

// One icon in the notification area.
std::unique_ptr<NotificationArea> notificationArea();

} // namespace vorn::platform
