#include "support/ToneFile.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace vorn::test
{

bool writeTone(const QString& path, int format, double seconds, int sampleRate, int channels)
{
    SF_INFO info {};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = static_cast<sf_count_t>(seconds * sampleRate);
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    for (sf_count_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(i * channels + c)]
                = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * double(i) / sampleRate));
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

} // namespace vorn::test
