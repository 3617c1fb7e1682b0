// A tune watcher waiting among 50 real windows: the CPU it uses, beside a
// loop that lists the windows without pause (the original design), and the
// delay from a window being mapped to the match, for both.
// Run inside scripts/test-session.sh (needs an X display with a window manager).
#include "platform/Platform.h"
#include "platform/linux/XcbDesktopWindows.h"
#include "shell/WindowWatchers.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr int WindowCount = 50;
constexpr int Trials = 10;

// Windows of the benchmark's own, made through a connection of their own.
class BenchWindows
{
public:
    BenchWindows()
        : connection_(xcb_connect(nullptr, nullptr))
        , screen_(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data)
    {
        const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, screen_->root, XCB_CW_EVENT_MASK, &events);
    }
    ~BenchWindows() { xcb_disconnect(connection_); }
    bool ok() const { return xcb_connection_has_error(connection_) == 0; }

    xcb_window_t show(const std::string& title)
    {
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, 0, 0, 120, 40, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
            std::uint32_t(title.size()), title.data());
        xcb_map_window(connection_, window);
        xcb_flush(connection_);
        return window;
    }

    void destroy(xcb_window_t window)
    {
        xcb_destroy_window(connection_, window);
        sync();
    }

    // When the next window appears on the root (a frame, under a window manager).
    Clock::time_point nextMap()
    {
        while (auto* event = xcb_wait_for_event(connection_)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped)
                return Clock::now();
        }
        return {};
    }

    void drop()
    {
        while (auto* event = xcb_poll_for_event(connection_))
            std::free(event);
    }

    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

private:
    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
};

// Stands in for the speaker: notes when the watcher matched.
class MatchClock final : public vorn::Sound
{
public:
    explicit MatchClock(std::atomic<Clock::rep>& matched)
        : matched_(matched)
    {
    }
    bool play(const QString&, std::stop_token) override
    {
        matched_ = Clock::now().time_since_epoch().count();
        return true;
    }

private:
    std::atomic<Clock::rep>& matched_;
};

double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The X server of $DISPLAY does the other half of every listing; find it
// among the processes to count its CPU as well (0 when it is not found).
pid_t findXServer()
{
    const QByteArray display = qgetenv("DISPLAY");
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = file.readAll().split('\0');
        if (args.size() > 1 && args[0].endsWith("Xvfb") && args[1] == display)
            return pid_t(pid.toInt());
    }
    return 0;
}

double serverCpuSeconds(pid_t server)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(server));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // The fields after the command name in parentheses; utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct CpuUse {
    double process = 0; // percent of one core
    double server = 0;
};

CpuUse cpuPercent(std::chrono::seconds span, pid_t server)
{
    const double before = processCpuSeconds();
    const double serverBefore = server ? serverCpuSeconds(server) : 0;
    const auto begun = Clock::now();
    std::this_thread::sleep_for(span);
    const double elapsed = std::chrono::duration<double>(Clock::now() - begun).count();
    return { 100.0 * (processCpuSeconds() - before) / elapsed,
        server ? 100.0 * (serverCpuSeconds(server) - serverBefore) / elapsed : 0 };
}

// The original design: list the windows over and over until the caption shows.
class PollingLoop
{
public:
    explicit PollingLoop(std::string caption)
        : caption_(QString::fromStdString(caption))
        , thread_([this](std::stop_token stop) { run(stop); })
    {
    }
    Clock::time_point matched() const { return Clock::time_point(Clock::duration(matched_.load())); }

private:
    void run(std::stop_token stop)
    {
        vorn::XcbDesktopWindows desktop;
        while (!stop.stop_requested()) {
            for (const auto& window :
                desktop.topLevelWindows().value_or(std::vector<vorn::DesktopWindows::Window> {})) {
                if (window.visible && window.title == caption_) {
                    matched_ = Clock::now().time_since_epoch().count();
                    return;
                }
            }
        }
    }

    QString caption_;
    std::atomic<Clock::rep> matched_ { 0 };
    std::jthread thread_;
};

struct Delays {
    std::vector<double> onScreen; // map request to the window appearing
    std::vector<double> matched; // map request to the match
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maximum(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end());
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Maps windows titled with a new caption each and measures how long what
// `startMatcher` started for that caption took to notice.
template <typename StartMatcher> Delays mapToMatch(BenchWindows& windows, StartMatcher&& startMatcher)
{
    Delays delays;
    for (int trial = 0; trial < Trials; ++trial) {
        const std::string caption = "Bench target " + std::to_string(trial);
        const auto matched = startMatcher(caption);
        std::this_thread::sleep_for(200ms);
        windows.drop();
        const auto requested = Clock::now();
        const auto window = windows.show(caption);
        const auto onScreen = windows.nextMap();
        Clock::time_point at;
        while ((at = matched()) == Clock::time_point() && Clock::now() < requested + 5s)
            std::this_thread::sleep_for(1ms);
        delays.onScreen.push_back(millisecondsBetween(requested, onScreen));
        delays.matched.push_back(millisecondsBetween(requested, at));
        windows.destroy(window);
        stopAllWatchers();
    }
    return delays;
}

} // namespace

int main()
{
    BenchWindows windows;
    if (!windows.ok()) {
        std::fprintf(stderr, "bench_watchers: no X display (run it through scripts/test-session.sh)\n");
        return 1;
    }
    std::vector<xcb_window_t> crowd;
    for (int i = 0; i < WindowCount; ++i)
        crowd.push_back(windows.show("Bench window " + std::to_string(i)));
    windows.sync();
    std::this_thread::sleep_for(1s); // let the window manager frame them all

    // The first listing searches every frame for its program's window; after
    // that the watcher only wakes for the display's events and its checks.
    std::atomic<Clock::rep> matched { 0 };
    (new TPDTThread("Never shown", "none.wav", vorn::platform::desktopWindows(), std::make_unique<MatchClock>(matched)))
        ->setFreeOnTerminate(true);
    const pid_t server = findXServer();
    const auto startCpu = cpuPercent(1s, server);
    const auto watcherCpu = cpuPercent(10s, server);
    stopAllWatchers();
    auto loop = std::make_unique<PollingLoop>("Never shown");
    const auto loopCpu = cpuPercent(5s, server);
    loop.reset();

    const auto watcherDelays = mapToMatch(windows, [&](const std::string& caption) {
        matched = 0;
        (new TPDTThread(QString::fromStdString(caption), "none.wav", vorn::platform::desktopWindows(),
             std::make_unique<MatchClock>(matched)))
            ->setFreeOnTerminate(true);
        return [&] { return Clock::time_point(Clock::duration(matched.load())); };
    });
    const auto loopDelays = mapToMatch(windows, [&](const std::string& caption) {
        loop = std::make_unique<PollingLoop>(caption);
        return [&] { return loop->matched(); };
    });
    loop.reset();

    for (const auto window : crowd)
        windows.destroy(window);

    std::printf("bench_watchers: %d windows on the display\n\n", WindowCount);
    std::printf("%-40s %10s %10s\n", "CPU while waiting, % of a core", "program", "X server");
    const auto row
        = [](const char* what, CpuUse use) { std::printf("%-40s %10.2f %10.2f\n", what, use.process, use.server); };
    row("tune watcher, first second", startCpu);
    row("tune watcher, next 10 s", watcherCpu);
    row("reference: listing without pause (5 s)", loopCpu);
    std::printf("%-40s %9.0fx %9.0fx\n\n", "reference / watcher", loopCpu.process / std::max(watcherCpu.process, 0.01),
        loopCpu.server / std::max(watcherCpu.server, 0.01));
    std::printf("%-40s %8s %8s\n", "map request to ... (ms, 10 trials)", "median", "max");
    std::printf("%-40s %8.1f %8.1f\n", "window on screen (window manager)", median(watcherDelays.onScreen),
        maximum(watcherDelays.onScreen));
    std::printf("%-40s %8.1f %8.1f\n", "match by the tune watcher", median(watcherDelays.matched),
        maximum(watcherDelays.matched));
    std::printf("%-40s %8.1f %8.1f\n", "match by listing without pause", median(loopDelays.matched),
        maximum(loopDelays.matched));
    return 0;
}
