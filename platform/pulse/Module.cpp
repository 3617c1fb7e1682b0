// The entry point of the sound module, the one symbol it exports.
#include "platform/Modules.h"
#include "platform/pulse/PulseSound.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT vorn::Sound* vorn_create_sound_v1()
{
    return new vorn::PulseSound();
}

static_assert(std::is_same_v<decltype(&vorn_create_sound_v1), vorn::modules::SoundFactory>);
