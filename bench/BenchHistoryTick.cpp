// The connection history's write on every one-second tick of a connection,
// beside the statistics' own tick on the hive (which the tick already does),
// and what both together cost of one core at one tick a second.
#include "platform/linux/SqliteRegistry.h"
#include "settings/History.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{

// Microseconds per call, best of several runs.
double microseconds(int count, const std::function<void()>& operation)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        operation();
    return double(timer.nsecsElapsed()) / 1000.0 / count;
}

} // namespace

int main()
{
    QTemporaryDir folder;
    vorn::SqliteRegistry hive(folder.filePath(QStringLiteral("registry.db")));
    TRegFile reg(nullptr, &hive);
    reg.RootKey = hkLocalMachine;
    QDateTime start;
    qint32 statisticsSeconds = 0;
    stats::WriteEntryDefaults(reg, QStringLiteral("Office"));
    stats::RecordConnection(reg, QStringLiteral("Office"), QDateTime::currentDateTime(), start, statisticsSeconds);

    vorn::ConnectionHistory history(folder.filePath(QStringLiteral("history.db")), QStringLiteral("bench"));
    // A history with a year of attempts behind it.
    for (int i = 0; i < 5000; ++i) {
        history.started(QStringLiteral("Office"));
        history.ended(vorn::ConnectionHistory::Outcome::Failed, 676, QStringLiteral("The line is busy."));
    }
    history.started(QStringLiteral("Office"));
    history.connected();
    qint64 historySeconds = 0;

    constexpr int Count = 2000;
    double bestHistory = 1e9;
    double bestStatistics = 1e9;
    for (int run = 0; run < 5; ++run) {
        bestHistory = std::min(bestHistory, microseconds(Count, [&] {
            ++historySeconds;
            history.tick(historySeconds, historySeconds * 3400, historySeconds * 3400);
        }));
        bestStatistics
            = std::min(bestStatistics, microseconds(Count, [&] { stats::RecordTick(reg, statisticsSeconds); }));
    }
    std::printf("%-32s %10s %10s %8s\n", "per tick", "history", "statistics", "ratio");
    std::printf("%-32s %8.1fus %8.1fus %7.2fx\n", "write", bestHistory, bestStatistics, bestHistory / bestStatistics);
    // One tick a second: microseconds per second / 10^6 = share of a core.
    std::printf("%-32s %9.4f%% %9.4f%%   goal < 0.5%% together\n", "share of one core at 1 tick/s", bestHistory / 1e4,
        bestStatistics / 1e4);
    return 0;
}
