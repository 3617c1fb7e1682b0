// The wizard as a user meets it, beside a bare Qt window measured in the same
// run: CPU while dialing and while connected, the delay from Skip to the end
// of the attempt, time to the first window and memory when connected.
#include "app/WizardLog.h"
#include "demo/WizardDriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace std::chrono_literals;
using vorn::demo::WizardDriver;
namespace line = vorn::wizardlog;
namespace positions = vorn::demo::positions;

namespace
{

constexpr int MeasureSeconds = 10;

double cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // After the command name in parentheses, utime and stime are the 12th and 13th fields.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : 0;
}

// Percent of a core used over the measuring time.
double cpuPercent(qint64 pid)
{
    const double before = cpuSeconds(pid);
    vorn::test::waitUntil([] { return false; }, std::chrono::seconds(MeasureSeconds));
    return (cpuSeconds(pid) - before) * 100.0 / MeasureSeconds;
}

double residentMb(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

QByteArray entries(int count, const char* outcome)
{
    QByteArray book;
    for (int i = 0; i < count; ++i)
        book += "[Entry " + QByteArray::number(i) + "]\nPhoneNumber=555-01" + QByteArray::number(i)
            + "\nDevice=Bench Modem\nDeviceType=modem\nOutcomes=" + outcome + "\nStepDelay=60000\n\n";
    return book;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Bare {
    double startMs = 0;
    double idleCpu = 0;
    double rssMb = 0;
};

Bare measureBareWindow()
{
    Bare result;
    QProcess bare;
    QElapsedTimer clock;
    clock.start();
    bare.start(vorn::test::binPath(QStringLiteral("bare-window")), {});
    vorn::test::findWindow(QStringLiteral("^Bare Qt Window$"), bare.processId(), 10s);
    result.startMs = double(clock.elapsed());
    result.idleCpu = cpuPercent(bare.processId());
    result.rssMb = residentMb(bare.processId());
    bare.kill();
    bare.waitForFinished();
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!vorn::test::inTestSession()) {
        std::fprintf(stderr, "bench_wizard: run it through scripts/test-session.sh\n");
        return 2;
    }
    const Bare bare = measureBareWindow();

    // Twenty entries that never answer: start-up, dialing and Skip.
    double startMs = 0;
    double dialingCpu = 0;
    std::vector<double> skipMs;
    std::vector<double> clickMs; // xdotool's own time; the click goes out at its end
    double abortMs = -1;
    {
        WizardDriver dialing(entries(20, "noanswer"));
        QElapsedTimer clock;
        clock.start();
        if (!dialing.start()) {
            std::fprintf(stderr, "bench_wizard: the wizard did not start\n");
            return 1;
        }
        startMs = double(clock.elapsed());
        dialing.click(positions::next);
        dialing.window(QStringLiteral("Entry Selection"));
        WizardDriver::keys({ QStringLiteral("ctrl+a") });
        for (const char* page : { "Tune", "Confirmation", "Dialing" }) {
            dialing.click(positions::next);
            dialing.window(QString::fromLatin1(page));
        }
        dialing.waitForLog(QLatin1String(line::Attempt));
        dialingCpu = cpuPercent(dialing.processId());
        for (int trial = 0; trial < 5; ++trial) {
            const int before = dialing.logSize();
            dialing.waitForLog(QLatin1String(line::Attempt), 5s, before);
            QThread::msleep(200);
            const int clicked = dialing.logSize();
            clock.restart();
            dialing.click(positions::skip);
            clickMs.push_back(double(clock.elapsed()));
            if (dialing.waitForLog(QLatin1String(line::Skipped), 5s, clicked))
                skipMs.push_back(double(clock.elapsed()));
        }
        const int beforeAbort = dialing.logSize();
        clock.restart();
        dialing.click(positions::abort);
        if (dialing.waitForLog(QLatin1String(line::Page) + QStringLiteral(" 1"), 5s, beforeAbort))
            abortMs = double(clock.elapsed());
    }

    WizardDriver connected(entries(1, "connect").replace("StepDelay=60000", "StepDelay=20"));
    if (!connected.startDialing() || !connected.waitForLog(QLatin1String(line::Connected), 15s)) {
        std::fprintf(stderr, "bench_wizard: no connection\n");
        return 1;
    }
    connected.waitForLog(QLatin1String(line::DialingEnded), 5s);
    const double connectedCpu = cpuPercent(connected.processId());
    const double connectedRss = residentMb(connected.processId());

    std::printf("%-46s %10s %10s %8s\n", "", "wizard", "bare Qt", "ratio");
    std::printf("%-46s %10.0f %10.0f %7.2fx\n", "start to first window, ms (20 entries)", startMs, bare.startMs,
        startMs / bare.startMs);
    std::printf("%-46s %10.1f %10.1f %7.2fx\n", "resident memory, MB (connected)", connectedRss, bare.rssMb,
        connectedRss / bare.rssMb);
    std::printf("%-46s %10.2f %10.2f\n", "CPU over 10 s dialing, % of a core", dialingCpu, bare.idleCpu);
    std::printf("%-46s %10.2f %10.2f\n", "CPU over 10 s connected in the tray, %", connectedCpu, bare.idleCpu);
    // Both include starting xdotool and the X round trip of the click.
    std::printf("%-46s %10.1f\n", "Skip click to attempt end, ms (median of 5)", median(skipMs));
    std::printf("%-46s %10.1f\n", "Abort click to selection page, ms", abortMs);
    std::printf("%-46s %10.1f\n", "of which xdotool's own run, ms (median)", median(clickMs));
    return 0;
}
