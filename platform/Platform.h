#pragma once

#include <memory>

// The one place that picks the implementation of each platform service.
namespace vorn
{
class RemoteAccess;
}

namespace vorn::platform
{

// The remote-access service: the client of the simulated dial-up service.
// One instance per process, shared by every user.
std::shared_ptr<RemoteAccess> remoteAccess();

} // namespace vorn::platform
