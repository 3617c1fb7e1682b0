#pragma once

#include <chrono>
#include <stop_token>
#include <thread>

namespace vorn::test
{

// Requests a stop from another thread after a delay.
class StopLater
{
public:
    explicit StopLater(std::chrono::milliseconds delay)
        : thread_([this, delay] {
            std::this_thread::sleep_for(delay);
            source_.request_stop();
        })
    {
    }
    std::stop_token token() const { return source_.get_token(); }

private:
    std::stop_source source_;
    std::jthread thread_;
};

} // namespace vorn::test
