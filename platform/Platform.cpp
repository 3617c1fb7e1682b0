#include "platform/Platform.h"

#include "platform/sim/SimRemoteAccess.h"

namespace vorn::platform
{

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

} // namespace vorn::platform
