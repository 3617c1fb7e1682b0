// The entry point of the NetworkManager module, the one symbol it exports.
#include "platform/Modules.h"
#include "platform/nm/NmRemoteAccess.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT vorn::RemoteAccess* vorn_create_remote_access_v1(std::uint16_t dialEventMessage)
{
    return new vorn::nm::NmRemoteAccess(dialEventMessage);
}

static_assert(std::is_same_v<decltype(&vorn_create_remote_access_v1), vorn::modules::RemoteAccessFactory>);
