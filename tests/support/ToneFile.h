#pragma once

#include <QString>

namespace vorn::test
{

// Writes a sine tone of half full scale; `format` is a libsndfile format such
// as SF_FORMAT_WAV | SF_FORMAT_PCM_16. Returns whether the file was written.
bool writeTone(const QString& path, int format, double seconds, int sampleRate = 22050, int channels = 1);

// How many recorded samples a tone of that length yields above the scan's
// threshold (a sine spends a little time near zero).
qint64 expectedLoudSamples(double seconds);

} // namespace vorn::test
