#pragma once

#include "platform/Sound.h"

#include <QByteArray>

#include <chrono>

namespace vorn
{

// Decodes with libsndfile (every WAV encoding it knows: PCM 8 to 32 bit,
// float, A-law, mu-law, ADPCM, and other formats besides) and plays through
// PulseAudio's simple API, which PipeWire serves as well.
class PulseSound final : public Sound
{
public:
    // server: a PulseAudio server address; empty for the user's default.
    explicit PulseSound(QByteArray server = {});

    bool play(const QString& file, std::stop_token stop) override;

    // How long a server may take to accept a connection before it counts as absent.
    static constexpr std::chrono::milliseconds ConnectTimeout { 1000 };

private:
    bool serverAnswers() const;

    QByteArray server_;
};

} // namespace vorn
