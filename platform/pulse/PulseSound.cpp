#include "platform/pulse/PulseSound.h"

#include <QFile>

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <sndfile.h>

#include <functional>
#include <memory>
#include <vector>

namespace vorn
{

namespace
{

using Clock = std::chrono::steady_clock;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
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
struct StreamUnref {
    void operator()(pa_stream* stream) const
    {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};

// Buffer little ahead of the sink, so the sound starts at once.
constexpr pa_usec_t TargetLatency = 50000; // microseconds

// libpulse's main loop run on the calling thread, woken by a stop request.
// Every wait has a limit, so a server that hangs is given up on.
class Connection
{
public:
    Connection(const QByteArray& server, std::stop_token stop)
        : loop_(pa_mainloop_new())
        , stop_(std::move(stop))
        , wake_(stop_, [this] { pa_mainloop_wakeup(loop_.get()); })
        , context_(pa_context_new(pa_mainloop_get_api(loop_.get()), "VORN95 Wizard"))
    {
        if (context_)
            connecting_ = pa_context_connect(context_.get(), server.isEmpty() ? nullptr : server.constData(),
                              PA_CONTEXT_NOAUTOSPAWN, nullptr)
                >= 0;
    }

    // Waits for the server to accept the connection.
    bool ready(std::chrono::milliseconds timeout)
    {
        const auto state = [this] { return pa_context_get_state(context_.get()); };
        return connecting_
            && runUntil([&] { return state() == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state()); }, timeout)
            && state() == PA_CONTEXT_READY;
    }

    pa_context* context() const { return context_.get(); }

    // Runs the loop until done() holds; false when a stop is requested, the
    // loop fails or the timeout passes first.
    template <typename Done> bool runUntil(Done done, std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (stop_.stop_requested() || left.count() <= 0)
                return false;
            if (pa_mainloop_prepare(loop_.get(), int(left.count())) < 0 || pa_mainloop_poll(loop_.get()) < 0
                || pa_mainloop_dispatch(loop_.get()) < 0)
                return false;
        }
        return true;
    }

private:
    std::unique_ptr<pa_mainloop, MainloopFreer> loop_;
    std::stop_token stop_;
    std::stop_callback<std::function<void()>> wake_;
    std::unique_ptr<pa_context, ContextUnref> context_;
    bool connecting_ = false;
};

} // namespace

PulseSound::PulseSound(QByteArray server)
    : server_(std::move(server))
{
}

bool PulseSound::play(const QString& file, std::stop_token stop)
{
    SF_INFO info {};
    const std::unique_ptr<SNDFILE, SndfileCloser> sound(sf_open(QFile::encodeName(file).constData(), SFM_READ, &info));
    if (!sound || info.channels <= 0 || info.samplerate <= 0)
        return false;
    const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, std::uint32_t(info.samplerate), std::uint8_t(info.channels) };
    if (info.channels > int(PA_CHANNELS_MAX) || !pa_sample_spec_valid(&spec))
        return false;

    // libpulse alone waits 30 seconds for a server that accepts but does not answer.
    Connection connection(server_, stop);
    if (!connection.ready(ConnectTimeout))
        return false;
    const std::unique_ptr<pa_stream, StreamUnref> stream(pa_stream_new(connection.context(), "Tune", &spec, nullptr));
    if (!stream)
        return false;
    pa_buffer_attr buffer;
    buffer.maxlength = std::uint32_t(-1);
    buffer.tlength = std::uint32_t(pa_usec_to_bytes(TargetLatency, &spec));
    buffer.prebuf = std::uint32_t(-1);
    buffer.minreq = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(-1);
    if (pa_stream_connect_playback(stream.get(), nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0)
        return false;
    const auto state = [&stream] { return pa_stream_get_state(stream.get()); };
    if (!connection.runUntil([&] { return state() != PA_STREAM_CREATING; }, ConnectTimeout)
        || state() != PA_STREAM_READY)
        return false;

    // Writes as much as the server asks for; a server that stops asking has hung.
    const std::size_t frameBytes = pa_frame_size(&spec);
    std::vector<float> chunk;
    while (true) {
        if (!connection.runUntil(
                [&] { return state() != PA_STREAM_READY || pa_stream_writable_size(stream.get()) >= frameBytes; },
                ServerTimeout)
            || state() != PA_STREAM_READY)
            return false;
        const std::size_t wanted = pa_stream_writable_size(stream.get()) / frameBytes;
        chunk.resize(wanted * std::size_t(info.channels));
        const sf_count_t frames = sf_readf_float(sound.get(), chunk.data(), sf_count_t(wanted));
        // A decoding error ends the sound early; what was read is still heard.
        if (frames <= 0)
            break;
        if (pa_stream_write(stream.get(), chunk.data(), std::size_t(frames) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE)
            < 0)
            return false;
    }

    int drained = -1;
    const auto onDrained = [](pa_stream*, int success, void* result) { *static_cast<int*>(result) = success; };
    pa_operation* drain = pa_stream_drain(stream.get(), onDrained, &drained);
    if (!drain)
        return false;
    const bool answered
        = connection.runUntil([&] { return drained >= 0 || state() != PA_STREAM_READY; }, ServerTimeout);
    pa_operation_cancel(drain);
    pa_operation_unref(drain);
    return answered && drained > 0;
}

} // namespace vorn
