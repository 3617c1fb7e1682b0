#pragma once

#include <QString>

#include <stop_token>

namespace vorn
{

class Sound
{
public:
    virtual ~Sound() = default;

    // Plays a sound file to its end and returns true once it has been heard.
    // Returns false at once when the file cannot be read or no sound server
    // answers, early when a stop is requested, and soon when the server hangs.
    virtual bool play(const QString& file, std::stop_token stop) = 0;
};

} // namespace vorn
