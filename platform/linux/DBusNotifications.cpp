#include "platform/linux/DBusNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace vorn
{

void DBusNotifications::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's).
    call << QStringLiteral("VORN95 Wizard") << 0u << QStringLiteral("vorn95") << summary << body << QStringList()
         << QVariantMap() << -1;
    // Not started on demand: a desktop without a notification service shows nothing.
    call.setAutoStartService(false);
    bus.send(call);
}

} // namespace vorn
