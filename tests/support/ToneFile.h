#pragma once

#include "support/TestSupport.h"

namespace vorn::test
{

// Writes a sine tone of half full scale in a libsndfile `format`.
bool writeTone(const QString& path, int format, double seconds, int sampleRate = 22050, int channels = 1);

// Recorded samples above the scan's threshold for a tone that long (a sine
// spends a little time near zero).
inline qint64 expectedLoudSamples(double seconds)
{
    return static_cast<qint64>(seconds * RecordingRate * 0.98);
}

} // namespace vorn::test
