#pragma once

#include "platform/Registry.h"

// The one place that picks each platform service's implementation.
// Components take their service by constructor and fall back to these.
namespace vorn::platform
{

// The registry hive of paths::registryFile(). One instance per hive file
// lives until the process ends, so every component shares its connection.
Registry& registry();

} // namespace vorn::platform
