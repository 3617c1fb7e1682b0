#pragma once

// A desktop and a sound device in memory, shared by every connection made to
// them, for the watcher tests.
#include "platform/DesktopWindows.h"
#include "platform/Sound.h"
#include "shell/WindowWatchers.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace vorn::test
{

struct FakeScreen {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::vector<DesktopWindows::Window> windows; // topmost first
    std::vector<DesktopWindows::WindowId> hidden;
    int generation = 0;
    int passes = 0;
    int connections = 0;
    bool broken = false;

    // Adds the window or updates the one with the same id.
    void put(DesktopWindows::WindowId id, const QString& title, bool visible)
    {
        const std::lock_guard lock(mutex);
        const auto it = std::find_if(windows.begin(), windows.end(), [id](const auto& w) { return w.id == id; });
        if (it == windows.end())
            windows.push_back({ id, title, visible });
        else
            *it = { id, title, visible };
        ++generation;
        changed.notify_all();
    }
    void breakConnections()
    {
        const std::lock_guard lock(mutex);
        broken = true;
        changed.notify_all();
    }
    // A copy of `field`, read under the lock.
    template <typename T> T read(const T& field)
    {
        const std::lock_guard lock(mutex);
        return field;
    }
};

class FakeDesktop final : public DesktopWindows
{
public:
    explicit FakeDesktop(std::shared_ptr<FakeScreen> screen)
        : screen_(std::move(screen))
    {
        const std::lock_guard lock(screen_->mutex);
        ++screen_->connections;
    }
    ~FakeDesktop() override
    {
        const std::lock_guard lock(screen_->mutex);
        --screen_->connections;
    }

    std::optional<std::vector<Window>> topLevelWindows(std::stop_token) override
    {
        const std::lock_guard lock(screen_->mutex);
        if (screen_->broken)
            return std::nullopt;
        ++screen_->passes;
        seen_ = screen_->generation;
        return screen_->windows;
    }
    bool hide(WindowId window, std::stop_token) override
    {
        const std::lock_guard lock(screen_->mutex);
        screen_->hidden.push_back(window);
        for (auto& w : screen_->windows)
            w.visible = w.visible && w.id != window;
        return true;
    }
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override
    {
        std::unique_lock lock(screen_->mutex);
        screen_->changed.wait_for(
            lock, stop, timeout, [this] { return screen_->broken || screen_->generation != seen_; });
        if (screen_->broken)
            return Wait::Broken;
        if (screen_->generation == seen_)
            return Wait::Quiet;
        seen_ = screen_->generation;
        return Wait::Changed;
    }

private:
    std::shared_ptr<FakeScreen> screen_;
    int seen_ = -1;
};

// Plays for `length` (or until stopped) and records each file.
struct FakeSpeaker {
    std::mutex mutex;
    std::vector<QString> played;
    std::chrono::milliseconds length { 0 };
    bool flagsSetWhilePlaying = false;
    int cut = 0; // sounds stopped before their end

    std::vector<QString> playedFiles()
    {
        const std::lock_guard lock(mutex);
        return played;
    }
};

class FakeSound final : public Sound
{
public:
    explicit FakeSound(std::shared_ptr<FakeSpeaker> speaker)
        : speaker_(std::move(speaker))
    {
    }
    bool play(const QString& file, std::stop_token stop) override
    {
        std::unique_lock lock(speaker_->mutex);
        speaker_->played.push_back(file);
        std::condition_variable_any never;
        never.wait_for(lock, stop, speaker_->length, [] { return false; });
        speaker_->flagsSetWhilePlaying = speaker_->flagsSetWhilePlaying || PDTFound || PDTDone;
        speaker_->cut += stop.stop_requested() ? 1 : 0;
        return !stop.stop_requested();
    }

private:
    std::shared_ptr<FakeSpeaker> speaker_;
};

} // namespace vorn::test
