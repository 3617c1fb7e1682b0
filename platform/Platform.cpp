#include "platform/Platform.h"

#include "platform/Paths.h"
#include "platform/linux/PulseSound.h"
#include "platform/linux/SqliteRegistry.h"
#include "platform/linux/XcbDesktopWindows.h"
#include "platform/sim/SimRemoteAccess.h"

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

std::shared_ptr<RemoteAccess> remoteAccess()
{
    // Shared while anyone holds it; the connection to the service ends with the last user.
    static std::weak_ptr<RemoteAccess> current;
    auto service = current.lock();
    if (!service) {
        service = std::make_shared<sim::SimRemoteAccess>();
        current = service;
    }
    return service;
}

std::unique_ptr<DesktopWindows> desktopWindows()
{
    return std::make_unique<XcbDesktopWindows>();
}

std::unique_ptr<Sound> sound()
{
    return std::make_unique<PulseSound>();
}

QString remoteAccessName()
{
    return QStringLiteral("the simulated dial-up service");
}

} // namespace vorn::platform
