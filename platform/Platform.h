#pragma once

#include "platform/Registry.h"

#include <QString>

#include <memory>

// The one place that picks each platform service's implementation (those
// that need Qt Widgets: platform/qt/QtPlatform.h).
// Components take their service by constructor and fall back to these.
namespace vorn
{
class DesktopWindows;
class Notifications;
class RemoteAccess;
class Sound;
} // namespace vorn

namespace vorn::platform
{

// The registry hive of paths::registryFile(). One instance per hive file
// lives until the process ends, so every component shares its connection.
Registry& registry();

// The remote-access service: NetworkManager when it answers on the system
// bus, else the client of the simulated dial-up service; VORN_RAS=sim or
// VORN_RAS=nm forces one. One instance per process, shared by every user.
std::shared_ptr<RemoteAccess> remoteAccess();

// The name of the backend remoteAccess() uses, for people to read.
QString remoteAccessName();

// A new connection to the display, for use by one thread.
std::unique_ptr<DesktopWindows> desktopWindows();

std::unique_ptr<Sound> sound();

// Desktop notifications over the session bus.
std::unique_ptr<Notifications> notifications();

} // namespace vorn::platform
