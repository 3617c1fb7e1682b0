#include "platform/Platform.h"

#include "platform/Modules.h"
#include "platform/Paths.h"
#include "platform/linux/DBusNotifications.h"
#include "platform/linux/SqliteRegistry.h"
#include "platform/linux/XcbDesktopWindows.h"
#include "platform/sim/SimRemoteAccess.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QThread>

#include <map>
#include <memory>
#include <mutex>

namespace vorn::platform
{

Registry& registry()
{
    // Keyed by file so that a changed $VORN_REGISTRY (tests) gets its own hive;
    // earlier instances stay valid for whoever still holds them.
    static std::mutex mutex;
    static std::map<QString, std::unique_ptr<SqliteRegistry>> hives;
    std::lock_guard lock(mutex);
    auto& hive = hives[paths::registryFile()];
    if (!hive)
        hive = std::make_unique<SqliteRegistry>(paths::registryFile());
    return *hive;
}

namespace
{

enum class RasBackend { Simulated, NetworkManager };

// Whether NetworkManager answers on the system bus, asked over Qt's own bus
// connection, so that choosing its module never loads it. The module gets
// libnm's reports through GLib's main context, which Qt runs only with its
// GLib event dispatcher, and only on the UI thread.
bool networkManagerAnswers()
{
    const auto* app = QCoreApplication::instance();
    const auto* dispatcher = QAbstractEventDispatcher::instance();
    if (app == nullptr || QThread::currentThread() != app->thread() || dispatcher == nullptr
        || !dispatcher->inherits("QEventDispatcherGlib"))
        return false;
    const QString name = QStringLiteral("vorn-backend-choice");
    bool answers = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("NameHasOwner"));
        ask << QStringLiteral("org.freedesktop.NetworkManager");
        constexpr int TimeoutMs = 2000;
        const QDBusMessage reply = bus.isConnected() ? bus.call(ask, QDBus::Block, TimeoutMs) : QDBusMessage();
        answers = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }
    QDBusConnection::disconnectFromBus(name);
    return answers;
}

// Chosen once per process, so every user of the service sees the same one.
RasBackend rasBackend()
{
    static const RasBackend chosen = [] {
        const QByteArray forced = qgetenv("VORN_RAS");
        if (forced == "sim")
            return RasBackend::Simulated;
        if (forced == "nm")
            return RasBackend::NetworkManager;
        if (!forced.isEmpty())
            qWarning("VORN_RAS=%s is neither sim nor nm; choosing by what answers", forced.constData());
        return networkManagerAnswers() ? RasBackend::NetworkManager : RasBackend::Simulated;
    }();
    return chosen;
}

} // namespace

std::shared_ptr<RemoteAccess> remoteAccess()
{
    // Shared while anyone holds it; the connection to the service ends with the last user.
    static std::weak_ptr<RemoteAccess> current;
    auto service = current.lock();
    if (!service) {
        if (rasBackend() == RasBackend::NetworkManager)
            service = modules::loadRemoteAccess(modules::file(QStringLiteral("vorn-nm.so")));
        else
            service = std::make_shared<sim::SimRemoteAccess>();
        current = service;
    }
    return service;
}

QString remoteAccessName()
{
    return rasBackend() == RasBackend::NetworkManager ? QStringLiteral("NetworkManager")
                                                      : QStringLiteral("Simulated dial-up service");
}

std::unique_ptr<DesktopWindows> desktopWindows()
{
    return std::make_unique<XcbDesktopWindows>();
}

std::unique_ptr<Sound> sound()
{
    return modules::loadSound(modules::file(QStringLiteral("vorn-sound.so")));
}

std::unique_ptr<Notifications> notifications()
{
    return std::make_unique<DBusNotifications>();
}

} // namespace vorn::platform
