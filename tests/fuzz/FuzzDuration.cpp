// Arbitrary text through DurationToSeconds; a duration that converts must
// come back the same through SecondsToDuration.
#include "settings/Statistics.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const qint32 seconds = DurationToSeconds(text);
        if (DurationToSeconds(SecondsToDuration(seconds)) != seconds)
            std::abort();
    } catch (const EConvertError&) {
    }
    return 0;
}
