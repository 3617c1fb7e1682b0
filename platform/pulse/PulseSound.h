#pragma once

#include "platform/Sound.h"

#include <QByteArray>

#include <chrono>

namespace vorn
{

// Decodes with libsndfile (every WAV encoding it knows: PCM 8 to 32 bit,
// float, A-law, mu-law, ADPCM, and other formats besides) and plays through
// PulseAudio, which PipeWire serves as well. Every wait for the server ends
// at a stop request, and has a limit besides.
class PulseSound final : public Sound
{
public:
    // server: a PulseAudio server address; empty for the user's default.
    explicit PulseSound(QByteArray server = {});

    bool play(const QString& file, std::stop_token stop) override;

    // How long a server may take to accept a connection before it counts as absent.
    static constexpr std::chrono::milliseconds ConnectTimeout { 1000 };
    // How long a playing server may go without asking for more sound, or
    // without finishing what it has, before it counts as hung.
    static constexpr std::chrono::milliseconds ServerTimeout { 5000 };

private:
    QByteArray server_;
};

} // namespace vorn
