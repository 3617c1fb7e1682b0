#pragma once

// A desktop and a sound device in memory, shared by every connection made to
// them, for the watcher tests.
#include "platform/DesktopWindows.h"
#include "platform/Sound.h"

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
    void put(DesktopWindows::WindowId id, const QString& title, bool visible);
    void breakConnections();
    int passCount();
    int connectionCount();
    std::vector<DesktopWindows::WindowId> hiddenWindows();
};

class FakeDesktop final : public DesktopWindows
{
public:
    explicit FakeDesktop(std::shared_ptr<FakeScreen> screen);
    ~FakeDesktop() override;

    std::optional<std::vector<Window>> topLevelWindows() override;
    bool hide(WindowId window) override;
    Wait waitForChange(std::chrono::milliseconds timeout, std::stop_token stop) override;

private:
    std::shared_ptr<FakeScreen> screen_;
    int seen_ = -1;
};

// Plays for `length` (or until stopped) and records each file.
struct FakeSpeaker {
    std::mutex mutex;
    std::vector<QString> played;
    std::chrono::milliseconds length { 0 };
    bool playing = false;
    bool flagsSetWhilePlaying = false;

    std::vector<QString> playedFiles();
};

class FakeSound final : public Sound
{
public:
    explicit FakeSound(std::shared_ptr<FakeSpeaker> speaker);
    bool play(const QString& file, std::stop_token stop) override;

private:
    std::shared_ptr<FakeSpeaker> speaker_;
};

} // namespace vorn::test
