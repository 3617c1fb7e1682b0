#include "WatcherFakes.h"

#include "shell/WindowWatchers.h"

#include <algorithm>

namespace vorn::test
{

void FakeScreen::put(DesktopWindows::WindowId id, const QString& title, bool visible)
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

void FakeScreen::breakConnections()
{
    const std::lock_guard lock(mutex);
    broken = true;
    changed.notify_all();
}

int FakeScreen::passCount()
{
    const std::lock_guard lock(mutex);
    return passes;
}

int FakeScreen::connectionCount()
{
    const std::lock_guard lock(mutex);
    return connections;
}

std::vector<DesktopWindows::WindowId> FakeScreen::hiddenWindows()
{
    const std::lock_guard lock(mutex);
    return hidden;
}

FakeDesktop::FakeDesktop(std::shared_ptr<FakeScreen> screen)
    : screen_(std::move(screen))
{
    const std::lock_guard lock(screen_->mutex);
    ++screen_->connections;
}

FakeDesktop::~FakeDesktop()
{
    const std::lock_guard lock(screen_->mutex);
    --screen_->connections;
}

std::optional<std::vector<DesktopWindows::Window>> FakeDesktop::topLevelWindows()
{
    const std::lock_guard lock(screen_->mutex);
    if (screen_->broken)
        return std::nullopt;
    ++screen_->passes;
    seen_ = screen_->generation;
    return screen_->windows;
}

bool FakeDesktop::hide(WindowId window)
{
    const std::lock_guard lock(screen_->mutex);
    screen_->hidden.push_back(window);
    for (auto& w : screen_->windows)
        if (w.id == window)
            w.visible = false;
    return true;
}

DesktopWindows::Wait FakeDesktop::waitForChange(std::chrono::milliseconds timeout, std::stop_token stop)
{
    std::unique_lock lock(screen_->mutex);
    screen_->changed.wait_for(lock, stop, timeout, [this] { return screen_->broken || screen_->generation != seen_; });
    if (screen_->broken)
        return Wait::Broken;
    if (screen_->generation == seen_)
        return Wait::Quiet;
    seen_ = screen_->generation;
    return Wait::Changed;
}

std::vector<QString> FakeSpeaker::playedFiles()
{
    const std::lock_guard lock(mutex);
    return played;
}

FakeSound::FakeSound(std::shared_ptr<FakeSpeaker> speaker)
    : speaker_(std::move(speaker))
{
}

bool FakeSound::play(const QString& file, std::stop_token stop)
{
    std::unique_lock lock(speaker_->mutex);
    speaker_->played.push_back(file);
    speaker_->playing = true;
    std::condition_variable_any never;
    never.wait_for(lock, stop, speaker_->length, [] { return false; });
    speaker_->flagsSetWhilePlaying = speaker_->flagsSetWhilePlaying || PDTFound || PDTDone;
    speaker_->playing = false;
    return !stop.stop_requested();
}

} // namespace vorn::test
