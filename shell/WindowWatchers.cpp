#include "shell/WindowWatchers.h"

#include <condition_variable>
#include <unordered_set>
#include <vector>

vorn::SharedText TuneFile;
std::atomic<bool> PDTFound { false };
std::atomic<bool> PDTDone { false };
std::atomic<bool> FWDone { false };
std::atomic<bool> PDTPlayNow { false };

namespace vorn
{

QString SharedText::get() const
{
    const std::lock_guard lock(mutex_);
    return text_;
}

void SharedText::set(const QString& text)
{
    const std::lock_guard lock(mutex_);
    text_ = text;
}

} // namespace vorn

namespace
{

// The watcher threads of the program that are still running, and the threads
// of released watchers that nobody has joined yet.
struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_set<TWatcherThread*> running;
    std::vector<std::thread> released;

    // Also when the program forgot to: no thread may outlive the statics.
    ~Registry() { stopAll(); }

    void stopAll()
    {
        std::vector<std::thread> ended;
        {
            std::unique_lock lock(mutex);
            for (auto* watcher : running)
                watcher->Terminate();
            changed.wait(lock, [this] { return running.empty(); });
            ended.swap(released);
        }
        for (auto& thread : ended)
            thread.join();
    }
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void stopAllWatchers()
{
    registry().stopAll();
}

TWatcherThread::~TWatcherThread() = default;

void TWatcherThread::Terminate()
{
    stop_.request_stop();
}

bool TWatcherThread::Terminated() const
{
    return stop_.stop_requested();
}

bool TWatcherThread::FreeOnTerminate() const
{
    const std::lock_guard lock(registry().mutex);
    return freeOnTerminate_;
}

void TWatcherThread::setFreeOnTerminate(bool value)
{
    {
        const std::lock_guard lock(registry().mutex);
        freeOnTerminate_ = value;
        if (!value || !finished_)
            return;
    }
    // The run has ended already and did not release the object; nothing else will.
    delete this;
}

bool TWatcherThread::Finished() const
{
    const std::lock_guard lock(registry().mutex);
    return finished_;
}

void TWatcherThread::Start()
{
    auto& threads = registry();
    std::vector<std::thread> released;
    {
        // The new thread ends its run under this lock, so it sees thread_ set.
        const std::lock_guard lock(threads.mutex);
        released.swap(threads.released);
        threads.running.insert(this);
        thread_ = std::thread(&TWatcherThread::run, this);
    }
    // Their objects are gone or going; joining only collects the threads.
    for (auto& thread : released)
        thread.join();
}

void TWatcherThread::TerminateAndWait()
{
    Terminate();
    if (thread_.joinable())
        thread_.join();
}

void TWatcherThread::run()
{
    Execute();
    auto& threads = registry();
    std::unique_lock lock(threads.mutex);
    finished_ = true;
    threads.running.erase(this);
    threads.changed.notify_all();
    if (!freeOnTerminate_)
        return;
    // A thread cannot join itself: whoever starts the next watcher, or
    // stopAllWatchers(), joins it.
    threads.released.push_back(std::move(thread_));
    lock.unlock();
    delete this;
}

TWindowWatcher::TWindowWatcher(QString caption, std::atomic<bool>& done, std::unique_ptr<vorn::DesktopWindows> desktop)
    : WindowCaption(std::move(caption))
    , done_(done)
    , desktop_(std::move(desktop))
{
}

// Lists the windows whenever the display reports a window shown or renamed,
// instead of listing them over and over; in between it only looks at the
// flags and the stop request.
void TWindowWatcher::Execute()
{
    using Clock = std::chrono::steady_clock;
    done_ = false;
    bool displayUp = true;
    bool passDue = true;
    auto lastPass = Clock::now();
    while (true) {
        if (displayUp && (passDue || Clock::now() - lastPass >= SafetyPass) && !SkipsPass()) {
            displayUp = RunPass();
            passDue = false;
            lastPass = Clock::now();
        }
        if (!displayUp && !WaitsWithoutDisplay())
            return;
        CheckRequests();
        if (Terminated() || done_)
            return;
        if (!displayUp) {
            WaitForStop(FlagCheck);
            continue;
        }
        switch (desktop_->waitForChange(FlagCheck, StopToken())) {
        case vorn::DesktopWindows::Wait::Changed:
            passDue = true;
            break;
        case vorn::DesktopWindows::Wait::Quiet:
            break;
        case vorn::DesktopWindows::Wait::Broken:
            displayUp = false;
            break;
        }
    }
}

void TWindowWatcher::WaitForStop(std::chrono::milliseconds timeout)
{
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    never.wait_for(lock, StopToken(), timeout, [] { return false; });
}

bool TWindowWatcher::RunPass()
{
    const auto windows = desktop_->topLevelWindows(StopToken());
    if (!windows)
        return false;
    for (const auto& window : *windows) {
        if (window.visible && window.title == WindowCaption) {
            ActOn(window);
            break;
        }
    }
    return true;
}

namespace
{

// The tune watcher that waits for its window, if any.
struct WaitingTuneWatcher {
    std::mutex mutex;
    TPDTThread* watcher = nullptr;
};

WaitingTuneWatcher& waitingTuneWatcher()
{
    static WaitingTuneWatcher instance;
    return instance;
}

} // namespace

TPDTThread::TPDTThread(const QString& caption, const QString& tuneFile, std::unique_ptr<vorn::DesktopWindows> desktop,
    std::unique_ptr<vorn::Sound> sound)
    : TWindowWatcher(caption, PDTDone, std::move(desktop))
    , sound_(std::move(sound))
{
    TuneFile.set(tuneFile);
    PDTFound = false;
    PDTPlayNow = false;
    {
        // The one waiting before would only play the same file.
        auto& waiting = waitingTuneWatcher();
        const std::lock_guard lock(waiting.mutex);
        if (waiting.watcher)
            waiting.watcher->Terminate();
        waiting.watcher = this;
    }
    Start();
}

TPDTThread::~TPDTThread()
{
    TerminateAndWait();
}

void TPDTThread::Execute()
{
    TWindowWatcher::Execute();
    StopWaiting();
}

bool TPDTThread::StopWaiting()
{
    auto& waiting = waitingTuneWatcher();
    const std::lock_guard lock(waiting.mutex);
    if (waiting.watcher == this)
        waiting.watcher = nullptr;
    return !Terminated();
}

bool TPDTThread::SkipsPass() const
{
    return PDTFound;
}

void TPDTThread::CheckRequests()
{
    // One that a newer watcher has ended leaves the request to that one.
    if (!PDTFound && !Terminated() && PDTPlayNow.exchange(false))
        Play();
}

void TPDTThread::ActOn(const vorn::DesktopWindows::Window&)
{
    Play();
}

void TPDTThread::Play()
{
    // Playing, it no longer waits: a newer watcher leaves it be.
    if (!StopWaiting())
        return;
    // Played from a copy, so a newer watcher may replace the name meanwhile.
    // A tune that cannot be played ends the watcher all the same.
    sound_->play(TuneFile.get(), StopToken());
    PDTFound = true;
    PDTDone = true;
}

TFWThread::TFWThread(const QString& caption, std::unique_ptr<vorn::DesktopWindows> desktop)
    : TWindowWatcher(caption, FWDone, std::move(desktop))
{
    setFreeOnTerminate(true);
    Start();
}

TFWThread::~TFWThread()
{
    TerminateAndWait();
}

void TFWThread::ActOn(const vorn::DesktopWindows::Window& window)
{
    Desktop().hide(window.id, StopToken());
    FWDone = true;
}
