#include "platform/linux/PulseSound.h"

#include <QFile>

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace vorn
{

namespace
{

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
struct SimpleFreer {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
struct MainloopFreer {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextUnref {
    void operator()(pa_context* context) const
    {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

// Small writes keep a stop request answered quickly.
constexpr int ChunksPerSecond = 50;

// Buffer little ahead of the sink, so the sound starts at once.
constexpr pa_usec_t TargetLatency = 50000; // microseconds

} // namespace

PulseSound::PulseSound(QByteArray server)
    : server_(std::move(server))
{
}

// pa_simple waits for a server that accepts but does not answer (stopped or
// hung) until libpulse's own 30-second timeout; ask first, with a deadline.
bool PulseSound::serverAnswers() const
{
    const std::unique_ptr<pa_mainloop, MainloopFreer> loop(pa_mainloop_new());
    const std::unique_ptr<pa_context, ContextUnref> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "VORN95 Wizard"));
    if (!context
        || pa_context_connect(
               context.get(), server_.isEmpty() ? nullptr : server_.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr)
            < 0)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + ConnectTimeout;
    while (true) {
        const auto state = pa_context_get_state(context.get());
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state))
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (pa_mainloop_prepare(loop.get(), int(left.count())) < 0 || pa_mainloop_poll(loop.get()) < 0
            || pa_mainloop_dispatch(loop.get()) < 0)
            return false;
    }
}

bool PulseSound::play(const QString& file, std::stop_token stop)
{
    SF_INFO info {};
    const std::unique_ptr<SNDFILE, SndfileCloser> sound(sf_open(QFile::encodeName(file).constData(), SFM_READ, &info));
    if (!sound || info.channels <= 0 || info.samplerate <= 0)
        return false;
    const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, std::uint32_t(info.samplerate), std::uint8_t(info.channels) };
    if (info.channels > int(PA_CHANNELS_MAX) || !pa_sample_spec_valid(&spec) || !serverAnswers())
        return false;

    pa_buffer_attr buffer;
    buffer.maxlength = std::uint32_t(-1);
    buffer.tlength = std::uint32_t(pa_usec_to_bytes(TargetLatency, &spec));
    buffer.prebuf = std::uint32_t(-1);
    buffer.minreq = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(-1);
    int error = 0;
    const std::unique_ptr<pa_simple, SimpleFreer> stream(
        pa_simple_new(server_.isEmpty() ? nullptr : server_.constData(), "VORN95 Wizard", PA_STREAM_PLAYBACK, nullptr,
            "Tune", &spec, nullptr, &buffer, &error));
    if (!stream)
        return false;

    const sf_count_t chunkFrames = std::max(1, info.samplerate / ChunksPerSecond);
    std::vector<float> chunk(std::size_t(chunkFrames * info.channels));
    sf_count_t frames = 0;
    while ((frames = sf_readf_float(sound.get(), chunk.data(), chunkFrames)) > 0) {
        if (stop.stop_requested()) {
            pa_simple_flush(stream.get(), &error);
            return false;
        }
        const auto bytes = std::size_t(frames * info.channels) * sizeof(float);
        if (pa_simple_write(stream.get(), chunk.data(), bytes, &error) < 0)
            return false;
    }
    // A decoding error ends the sound early; what was read is still heard.
    return pa_simple_drain(stream.get(), &error) >= 0;
}

} // namespace vorn
