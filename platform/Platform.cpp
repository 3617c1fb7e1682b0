#include "platform/Platform.h"

#include "platform/linux/PulseSound.h"
#include "platform/linux/XcbDesktopWindows.h"

namespace vorn::platform
{

std::unique_ptr<DesktopWindows> desktopWindows()
{
    return std::make_unique<XcbDesktopWindows>();
}

std::unique_ptr<Sound> sound()
{
    return std::make_unique<PulseSound>();
}

} // namespace vorn::platform
