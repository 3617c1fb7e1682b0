// CPU used by the simulated dial-up service and by a client waiting on a dial,
// and the delay from a step in the service to the engine's event, printed
// beside the step delays the phonebook asks for.
#include "platform/sim/SimRemoteAccess.h"
#include "rascomp/Rascomp32.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace vorn;

namespace
{

constexpr int TenSecondStepDelayMs = 1429; // 7 steps after the first: 10 s

const QByteArray phonebookText = "[Quick]\nStepDelay=20\n\n"
                                 "[Default]\n\n"
                                 "[Ten Seconds]\nStepDelay=1429\n";

qint64 steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU seconds used so far by a process (its user and system time).
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double ownCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for `ms` milliseconds, or until `done` is set.
void runEvents(int ms, const bool* done = nullptr)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QTimer check;
    if (done != nullptr) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (*done)
                loop.quit();
        });
        check.start(50);
    }
    loop.exec();
}

void printRow(const char* what, double measured, const char* unit, const char* goal)
{
    std::printf("  %-52s %10.3f %-6s %s\n", what, measured, unit, goal);
}

class Bench
{
public:
    bool start()
    {
        QFile book(dir_.filePath(QStringLiteral("bench.pbk")));
        if (!dir_.isValid() || !book.open(QIODevice::WriteOnly) || book.write(phonebookText) < 0)
            return false;
        book.close();
        service_.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/vorn-dialupd"));
        service_.setArguments({ QStringLiteral("--socket"), socketPath(), QStringLiteral("--idle-exit"),
            QStringLiteral("0"), QStringLiteral("--trace") });
        service_.start();
        if (!service_.waitForStarted(5000))
            return false;
        for (int i = 0; i < 250 && !QFile::exists(socketPath()); ++i)
            QThread::msleep(20);
        return QFile::exists(socketPath());
    }

    ~Bench()
    {
        service_.kill();
        service_.waitForFinished(5000);
    }

    double serviceCpuOver(int ms)
    {
        const double before = processCpuSeconds(service_.processId());
        runEvents(ms);
        return 100.0 * (processCpuSeconds(service_.processId()) - before) / (ms / 1000.0);
    }

    // Dials `entry` through the engine; returns the engine's event times by state.
    QHash<std::uint32_t, qint64> dial(
        const QString& entry, double* clientCpuPercent = nullptr, double* serviceCpuPercent = nullptr)
    {
        TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(socketPath()));
        engine.setPhoneBookPath(dir_.filePath(QStringLiteral("bench.pbk")));
        QHash<std::uint32_t, qint64> seen;
        bool connected = false;
        auto record = [&](QObject*) { seen.insert(engine.ConnState(), steadyMicroseconds()); };
        engine.OnAboutToOpenPort = record;
        engine.OnPortOpened = record;
        engine.OnAboutToConnDev = record;
        engine.OnDevConnected = record;
        engine.OnAllDevsConnected = record;
        engine.OnAuthenticate = record;
        engine.OnAuthenticated = record;
        engine.OnConnect = [&](QObject* sender) {
            record(sender);
            connected = true;
        };
        engine.EntryName = entry;

        const double ownBefore = ownCpuSeconds();
        const double serviceBefore = processCpuSeconds(service_.processId());
        QElapsedTimer wall;
        wall.start();
        engine.Dial();
        runEvents(30000, &connected);
        const double seconds = double(wall.elapsed()) / 1000.0;
        if (clientCpuPercent != nullptr)
            *clientCpuPercent = 100.0 * (ownCpuSeconds() - ownBefore) / seconds;
        if (serviceCpuPercent != nullptr)
            *serviceCpuPercent = 100.0 * (processCpuSeconds(service_.processId()) - serviceBefore) / seconds;
        engine.HangUp();
        return seen;
    }

    // Delays in milliseconds from each step the service traced to the engine's event for it.
    QList<double> delays(const QHash<std::uint32_t, qint64>& seen)
    {
        traced_ += service_.readAllStandardError();
        QList<double> result;
        QHash<std::uint32_t, qint64> steps;
        for (const QByteArray& line : traced_.split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 5 && f[0] == "step")
                steps.insert(f[2].toUInt(), f[4].toLongLong());
        }
        traced_.clear();
        for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
            if (steps.contains(it.key()))
                result.append(double(it.value() - steps.value(it.key())) / 1000.0);
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    QString socketPath() const { return dir_.filePath(QStringLiteral("run/dialup.sock")); }

private:
    QTemporaryDir dir_;
    QProcess service_;
    QByteArray traced_;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Bench bench;
    if (!bench.start()) {
        std::fprintf(stderr, "bench_dialup: cannot start vorn-dialupd\n");
        return 1;
    }
    std::printf("bench_dialup: simulated dial-up service and engine\n");
    std::printf("  %-52s %10s %-6s %s\n", "measure", "value", "unit", "goal");

    printRow("idle service CPU, no client (3 s)", bench.serviceCpuOver(3000), "% core", "< 1");
    {
        sim::SimRemoteAccess idleClient(bench.socketPath());
        sim::Request hello;
        hello.op = sim::Op::Connections;
        idleClient.call(hello);
        printRow("idle service CPU, one client connected (3 s)", bench.serviceCpuOver(3000), "% core", "< 1");
    }

    double clientCpu = 0;
    double serviceCpu = 0;
    const auto tenSeconds = bench.dial(QStringLiteral("Ten Seconds"), &clientCpu, &serviceCpu);
    printRow("client waiting on a 10 s dial", clientCpu, "% core", "< 1");
    printRow("service running that dial", serviceCpu, "% core", "< 1");
    const auto longDelays = bench.delays(tenSeconds);

    for (const auto& [entry, stepDelay, delays] :
        { std::tuple { "Quick", 20, bench.delays(bench.dial(QStringLiteral("Quick"))) },
            std::tuple { "Default", 300, bench.delays(bench.dial(QStringLiteral("Default"))) },
            std::tuple { "Ten Seconds", TenSecondStepDelayMs, longDelays } }) {
        if (delays.isEmpty()) {
            std::printf("  %s: no steps traced\n", entry);
            continue;
        }
        const QByteArray label
            = QByteArray("step to engine event, median, StepDelay ") + QByteArray::number(stepDelay) + " ms";
        printRow(label.constData(), delays[delays.size() / 2], "ms", "< 10");
        const QByteArray worst = QByteArray("step to engine event, worst of ") + QByteArray::number(delays.size());
        printRow(worst.constData(), delays.last(), "ms", "< 10");
    }
    return 0;
}
