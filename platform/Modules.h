#pragma once

#include "platform/RemoteAccess.h"
#include "platform/Sound.h"

#include <QString>

#include <cstdint>
#include <memory>

// Backends and windows that need large libraries are modules of their own,
// loaded only when chosen or first shown, from lib/vorn95/ beside the programs' bin folder (in the build
// tree as installed), so that other runs never map those libraries.
namespace vorn::modules
{

// What a remote-access module exports under RemoteAccessEntry: a new service
// posting dial progress under the program's `dialEventMessage`. The version
// in the name keeps a module of another build from being called.
using RemoteAccessFactory = RemoteAccess* (*)(std::uint16_t dialEventMessage);
inline constexpr char RemoteAccessEntry[] = "vorn_create_remote_access_v1";

// What a sound module exports under SoundEntry: a new sound on the user's
// default server.
using SoundFactory = Sound* (*)();
inline constexpr char SoundEntry[] = "vorn_create_sound_v1";

// The path of the module `name` ("vorn-nm.so").
QString file(const QString& name);

// The address of `entry` in the module `file`, which stays loaded for the
// rest of the process (its objects and events may outlive any one user).
// Null when it cannot be loaded, with the loader's reason, which names the
// file, in `reason`.
void* entryPoint(const QString& file, const char* entry, QString& reason);

// The remote-access service of the module in `file`. A module that cannot be
// loaded is logged and leaves a service that answers every call with error
// 711, whose text names the file and the reason.
std::shared_ptr<RemoteAccess> loadRemoteAccess(const QString& file);

// The sound of the module in `file`. A module that cannot be loaded is logged
// and leaves a sound that plays nothing, as one without a sound server.
std::unique_ptr<Sound> loadSound(const QString& file);

} // namespace vorn::modules
