#pragma once

#include <QString>

// Desktop notifications: a short message the desktop shows for a while.
namespace vorn
{

class Notifications
{
public:
    virtual ~Notifications() = default;

    // Shows `summary` with an optional `body`. Returns at once and never
    // fails: without a notification service nothing is shown.
    virtual void notify(const QString& summary, const QString& body = {}) = 0;
};

} // namespace vorn
