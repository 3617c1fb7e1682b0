#pragma once

#include "platform/Registry.h"

#include <memory>

// The one place that picks each platform service's implementation.
// Components take their service by constructor and fall back to these.
namespace vorn
{
class RemoteAccess;
}

namespace vorn::platform
{

// The registry hive of paths::registryFile(). One instance per hive file
// lives until the process ends, so every component shares its connection.
Registry& registry();

// The remote-access service: the client of the simulated dial-up service.
// One instance per process, shared by every user.
std::shared_ptr<RemoteAccess> remoteAccess();

} // namespace vorn::platform
