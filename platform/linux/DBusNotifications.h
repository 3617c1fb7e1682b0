#pragma once

#include "platform/Notifications.h"

namespace vorn
{

// The freedesktop notification service (org.freedesktop.Notifications) on
// the session bus. Calls are sent without waiting for the answer, so a
// service that is missing or does not answer holds nothing up.
class DBusNotifications final : public Notifications
{
public:
    void notify(const QString& summary, const QString& body = {}) override;
};

} // namespace vorn
