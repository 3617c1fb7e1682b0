#pragma once

#include <QString>

#include <memory>

// The one place that picks the implementation of each platform service.
namespace vorn
{
class RemoteAccess;
}

namespace vorn::platform
{

// The remote-access service: NetworkManager when it answers on the system
// bus, else the client of the simulated dial-up service; VORN_RAS=sim or
// VORN_RAS=nm forces one. One instance per process, shared by every user.
std::shared_ptr<RemoteAccess> remoteAccess();

// The name of the backend remoteAccess() uses, for people to read.
QString remoteAccessName();

} // namespace vorn::platform
