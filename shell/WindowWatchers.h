#pragma once

#include "platform/DesktopWindows.h"
#include "platform/Platform.h"
#include "platform/Sound.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace vorn
{

// Text shared between threads: read and replaced under a lock, so a reader
// always gets a whole copy.
class SharedText
{
public:
    QString get() const;
    void set(const QString& text);

private:
    mutable std::mutex mutex_;
    QString text_;
};

} // namespace vorn

// Program-wide state of the watchers; see TPDTThread and TFWThread.
extern vorn::SharedText TuneFile;
extern std::atomic<bool> PDTFound;
extern std::atomic<bool> PDTDone;
extern std::atomic<bool> FWDone;
// Asks a waiting tune watcher to play now, without its window: for a dial-up
// backend that shows no window of its own. A new tune watcher clears it.
extern std::atomic<bool> PDTPlayNow;

// A worker thread that is created suspended, polls a stop request, and may
// release itself when its run ends (FreeOnTerminate). Every thread still
// running is known, so that stopAllWatchers() can end them all.
class TWatcherThread
{
public:
    TWatcherThread(const TWatcherThread&) = delete;
    TWatcherThread& operator=(const TWatcherThread&) = delete;
    virtual ~TWatcherThread();

    void Terminate();
    bool Terminated() const;

    // Read once, when the run has ended. Turned on after the run has already
    // ended, it releases the object at once.
    bool FreeOnTerminate() const;
    void setFreeOnTerminate(bool value);

    // Whether the run has ended.
    bool Finished() const;

protected:
    TWatcherThread() = default;
    void Start();
    // Ends the run and waits for it; every final class calls this first in
    // its destructor, while the run can still use all of the object.
    void TerminateAndWait();
    std::stop_token StopToken() const { return stop_.get_token(); }
    virtual void Execute() = 0;

private:
    void run();

    std::thread thread_;
    std::stop_source stop_;
    bool freeOnTerminate_ = false; // guarded by the registry of running threads
    bool finished_ = false; // likewise
};

// Asks every watcher still running to stop and waits until all have ended.
// The program calls it on its way out.
void stopAllWatchers();

// Waits until a top-level window titled exactly WindowCaption is visible, acts
// on it once and ends. Watchers of one kind share their done flag: once one
// has acted, all of them end.
class TWindowWatcher : public TWatcherThread
{
public:
    const QString WindowCaption;

    // A waiting watcher wakes at the latest this often to look at the shared
    // flags and its stop request, and lists the windows again at the latest
    // every SafetyPass even when the display reported nothing.
    static constexpr std::chrono::milliseconds FlagCheck { 100 };
    static constexpr std::chrono::milliseconds SafetyPass { 1000 };

protected:
    TWindowWatcher(QString caption, std::atomic<bool>& done, std::unique_ptr<vorn::DesktopWindows> desktop);
    void Execute() override;
    vorn::DesktopWindows& Desktop() { return *desktop_; }

    virtual bool SkipsPass() const { return false; }
    // Looks at requests that need no window; runs whenever the watcher wakes.
    virtual void CheckRequests() { }
    // Whether the watcher goes on, for its requests alone, once the display
    // cannot be reached.
    virtual bool WaitsWithoutDisplay() const { return false; }
    // Acts on the first visible window of a pass that carries the caption,
    // then sets the shared flags.
    virtual void ActOn(const vorn::DesktopWindows::Window& window) = 0;

private:
    // False when the display cannot be reached.
    bool RunPass();
    // Sleeps until the timeout passes or a stop is requested.
    void WaitForStop(std::chrono::milliseconds timeout);

    std::atomic<bool>& done_;
    std::unique_ptr<vorn::DesktopWindows> desktop_;
};

// The tune watcher: plays TuneFile (the newest tune watcher's file) once a
// window with the caption is visible, or when PDTPlayNow asks for it, with or
// without a display. The creator turns on FreeOnTerminate.
// At most one tune watcher waits: a new one ends the one waiting before it
// (one that is playing plays on), so runs that were given up leave nothing behind.
class TPDTThread final : public TWindowWatcher
{
public:
    TPDTThread(const QString& caption, const QString& tuneFile,
        std::unique_ptr<vorn::DesktopWindows> desktop = vorn::platform::desktopWindows(),
        std::unique_ptr<vorn::Sound> sound = vorn::platform::sound());
    ~TPDTThread() override;

private:
    void Execute() override;
    bool SkipsPass() const override;
    void CheckRequests() override;
    bool WaitsWithoutDisplay() const override { return true; }
    void ActOn(const vorn::DesktopWindows::Window& window) override;
    void Play();
    // False when a newer tune watcher has ended this one.
    bool StopWaiting();

    std::unique_ptr<vorn::Sound> sound_;
};

// The window hider: hides the first visible window with the caption, then
// releases itself.
class TFWThread final : public TWindowWatcher
{
public:
    explicit TFWThread(
        const QString& caption, std::unique_ptr<vorn::DesktopWindows> desktop = vorn::platform::desktopWindows());
    ~TFWThread() override;

private:
    void ActOn(const vorn::DesktopWindows::Window& window) override;
};
