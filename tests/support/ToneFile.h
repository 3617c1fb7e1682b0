#pragma once

#include "support/TestSupport.h"

namespace vorn::test
{

// Writes a sine tone of half full scale; `format` is a libsndfile format such
// as SF_FORMAT_WAV | SF_FORMAT_PCM_16. Returns whether the file was written.
bool writeTone(const QString& path, int format, double seconds, int sampleRate = 22050, int channels = 1);

// How many recorded samples a tone of that length yields above the scan's
// threshold (a sine spends a little time near zero).
inline qint64 expectedLoudSamples(double seconds)
{
    return static_cast<qint64>(seconds * RecordingRate * 0.98);
}

} // namespace vorn::test
