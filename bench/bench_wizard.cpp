// The wizard as a user meets it, beside a plain Qt window measured in the
// same run: time to the first window, resident and proportional memory at the
// selection page and when connected (tray icon up, tune played), the shared
// libraries mapped in each case; on the simulated service and, when run under
// scripts/nm-session.sh, on NetworkManager. Then CPU while dialing and while
// connected, and the delay from Skip to the end of the attempt.
#include "app/WizardLog.h"
#include "demo/WizardDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
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

// Resident and proportional (shared pages divided among their users) memory.
struct Memory {
    double residentMb = 0;
    double proportionalMb = 0;
};

Memory memoryOf(qint64 pid)
{
    Memory memory;
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return memory;
    const auto megabytes = [](const QByteArray& line) {
        return line.split(':').value(1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    };
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Rss:"))
            memory.residentMb = megabytes(line);
        else if (line.startsWith("Pss:"))
            memory.proportionalMb = megabytes(line);
    }
    return memory;
}

// The shared libraries a process has mapped: ours (from the build or
// installation the programs run from) and the system's.
struct Libraries {
    int ours = 0;
    int system = 0;
    QStringList watched; // those of kWatched that are mapped
};

constexpr const char* kWatched[] = { "libnm", "libpulse", "libsndfile", "libQt6Charts" };

Libraries librariesOf(qint64 pid)
{
    Libraries libraries;
    QFile file(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return libraries;
    const QString ourRoot
        = QFileInfo(vorn::test::binPath(QStringLiteral("vorn95"))).dir().absolutePath() + QStringLiteral("/..");
    const QString ours = QDir(ourRoot).canonicalPath() + QLatin1Char('/');
    QSet<QString> seen;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype slash = line.indexOf('/');
        if (slash < 0)
            continue;
        const QString path = QString::fromLocal8Bit(line.mid(slash));
        const QString name = path.section(QLatin1Char('/'), -1);
        if (!name.contains(QLatin1String(".so")) || seen.contains(path))
            continue;
        seen.insert(path);
        ++(path.startsWith(ours) ? libraries.ours : libraries.system);
        for (const char* watched : kWatched) {
            if (name.startsWith(QLatin1String(watched) + QLatin1Char('.'))
                || name.startsWith(QLatin1String(watched) + QLatin1Char('-')))
                libraries.watched.append(QLatin1String(watched));
        }
    }
    libraries.watched.removeDuplicates();
    return libraries;
}

// What one program shows in each case.
struct Figures {
    double startMs = 0;
    Memory selection;
    Libraries selectionLibraries;
    Memory connected;
    Libraries connectedLibraries;
    bool measured = false;
};

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

constexpr int StartTrials = 5;
// Long enough for the window's first paint and the list to fill.
constexpr auto Settle = 1000ms;

Figures measureBareWindow()
{
    Figures bare;
    std::vector<double> starts;
    for (int trial = 0; trial < StartTrials; ++trial) {
        QProcess window;
        QElapsedTimer clock;
        clock.start();
        window.start(vorn::test::binPath(QStringLiteral("bare-window")), {});
        if (vorn::test::findWindow(QStringLiteral("^Bare Qt Window$"), window.processId(), 10s).isEmpty())
            return bare;
        starts.push_back(double(clock.elapsed()));
        if (trial == 0) {
            QThread::msleep(Settle.count());
            bare.selection = bare.connected = memoryOf(window.processId());
            bare.selectionLibraries = bare.connectedLibraries = librariesOf(window.processId());
        }
        window.kill();
        window.waitForFinished();
    }
    bare.startMs = median(starts);
    bare.measured = true;
    return bare;
}

// Start-up (the median of a few), the selection page, then connected with
// the tray icon up and the tune heard.
Figures measureWizard(const QByteArray& phonebook, WizardDriver::Backend backend, std::chrono::seconds dialing)
{
    Figures figures;
    std::vector<double> starts;
    for (int trial = 0; trial < StartTrials; ++trial) {
        WizardDriver wizard(phonebook, backend);
        QElapsedTimer clock;
        clock.start();
        if (!wizard.start())
            return figures;
        starts.push_back(double(clock.elapsed()));
        if (trial == 0) {
            if (!wizard.next(1))
                return figures;
            QThread::msleep(Settle.count());
            figures.selection = memoryOf(wizard.processId());
            figures.selectionLibraries = librariesOf(wizard.processId());
        }
    }
    figures.startMs = median(starts);

    const QByteArray connecting = backend == WizardDriver::Backend::Simulated
        ? entries(1, "connect").replace("StepDelay=60000", "StepDelay=20")
        : QByteArray();
    WizardDriver wizard(connecting, backend);
    const qint64 recordedBefore = vorn::test::recordingSize();
    if (!wizard.chooseTune() || !wizard.startDialing() || !wizard.waitForLog(QLatin1String(line::Connected), dialing)
        || !vorn::test::waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s)
        || !vorn::test::waitUntil([&] { return vorn::test::scanRecording(recordedBefore).loudSamples > 0; }, 10s)) {
        std::fprintf(stderr, "bench_wizard: no connection with tray icon and tune\n");
        return figures;
    }
    QThread::msleep(Settle.count());
    figures.connected = memoryOf(wizard.processId());
    figures.connectedLibraries = librariesOf(wizard.processId());
    figures.measured = true;
    return figures;
}

void printRow(const char* label, double wizard, double bare, double nm, bool withNm)
{
    std::printf("%-42s %9.1f %9.1f %7.2fx", label, wizard, bare, wizard / bare);
    if (withNm)
        std::printf(" %9.1f %7.2fx", nm, nm / bare);
    std::printf("\n");
}

QByteArray librariesText(const Libraries& libraries)
{
    return QStringLiteral("%1 (%2 ours)").arg(libraries.ours + libraries.system).arg(libraries.ours).toUtf8();
}

QByteArray watchedText(const Libraries& libraries)
{
    return libraries.watched.isEmpty() ? QByteArray("none") : libraries.watched.join(QLatin1Char(',')).toUtf8();
}

void printTextRow(
    const char* label, const QByteArray& wizard, const QByteArray& bare, const QByteArray& nm, bool withNm)
{
    std::printf("%-42s %-28s %-28s", label, wizard.constData(), bare.constData());
    if (withNm)
        std::printf(" %s", nm.constData());
    std::printf("\n");
}

void printFigures(const Figures& sim, const Figures& bare, const Figures& nm)
{
    const bool withNm = nm.measured;
    std::printf("%-42s %9s %9s %8s", "", "wizard", "bare Qt", "ratio");
    if (withNm)
        std::printf(" %9s %8s", "NM", "ratio");
    std::printf("\n");
    printRow("start to first window, ms (20 entries)", sim.startMs, bare.startMs, nm.startMs, withNm);
    printRow("resident memory, MB (selection page)", sim.selection.residentMb, bare.selection.residentMb,
        nm.selection.residentMb, withNm);
    printRow("proportional memory, MB (selection page)", sim.selection.proportionalMb, bare.selection.proportionalMb,
        nm.selection.proportionalMb, withNm);
    printRow("resident memory, MB (connected)", sim.connected.residentMb, bare.connected.residentMb,
        nm.connected.residentMb, withNm);
    printRow("proportional memory, MB (connected)", sim.connected.proportionalMb, bare.connected.proportionalMb,
        nm.connected.proportionalMb, withNm);
    std::printf("\n%-42s %-28s %-28s%s\n", "shared libraries mapped", "wizard", "bare Qt", withNm ? " NM" : "");
    printTextRow("libraries mapped (selection page)", librariesText(sim.selectionLibraries),
        librariesText(bare.selectionLibraries), librariesText(nm.selectionLibraries), withNm);
    printTextRow("libraries mapped (connected)", librariesText(sim.connectedLibraries),
        librariesText(bare.connectedLibraries), librariesText(nm.connectedLibraries), withNm);
    printTextRow("of the large optional ones (selection)", watchedText(sim.selectionLibraries),
        watchedText(bare.selectionLibraries), watchedText(nm.selectionLibraries), withNm);
    printTextRow("of the large optional ones (connected)", watchedText(sim.connectedLibraries),
        watchedText(bare.connectedLibraries), watchedText(nm.connectedLibraries), withNm);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!vorn::test::inTestSession()) {
        std::fprintf(stderr, "bench_wizard: run it through scripts/test-session.sh\n");
        return 2;
    }
    const Figures bare = measureBareWindow();
    const Figures sim = measureWizard(entries(20, "noanswer"), WizardDriver::Backend::Simulated, 15s);
    // The NetworkManager of scripts/nm-session.sh, with its test profiles:
    // two fail quickly before the working VPN connects.
    Figures nm;
    if (!qEnvironmentVariable("VORN_NM_SESSION").isEmpty())
        nm = measureWizard(QByteArray(), WizardDriver::Backend::NetworkManager, 60s);
    if (!bare.measured || !sim.measured) {
        std::fprintf(stderr, "bench_wizard: the wizard or the bare window did not come up\n");
        return 1;
    }
    printFigures(sim, bare, nm);

    // Twenty entries that never answer: dialing and Skip.
    double dialingCpu = 0;
    std::vector<double> skipMs;
    std::vector<double> clickMs; // xdotool's own time; the click goes out at its end
    double abortMs = -1;
    {
        WizardDriver dialing(entries(20, "noanswer"));
        if (!dialing.startDialing()) {
            std::fprintf(stderr, "bench_wizard: the wizard did not start dialing\n");
            return 1;
        }
        dialing.waitForLog(QLatin1String(line::Attempt));
        dialingCpu = cpuPercent(dialing.processId());
        QElapsedTimer clock;
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
    QProcess idle;
    idle.start(vorn::test::binPath(QStringLiteral("bare-window")), {});
    vorn::test::findWindow(QStringLiteral("^Bare Qt Window$"), idle.processId(), 10s);
    const double bareCpu = cpuPercent(idle.processId());
    idle.kill();
    idle.waitForFinished();

    std::printf("\n%-46s %10s %10s\n", "", "wizard", "bare Qt");
    std::printf("%-46s %10.2f %10.2f\n", "CPU over 10 s dialing, % of a core", dialingCpu, bareCpu);
    std::printf("%-46s %10.2f %10.2f\n", "CPU over 10 s connected in the tray, %", connectedCpu, bareCpu);
    // Both include starting xdotool and the X round trip of the click.
    std::printf("%-46s %10.1f\n", "Skip click to attempt end, ms (median of 5)", median(skipMs));
    std::printf("%-46s %10.1f\n", "Abort click to selection page, ms", abortMs);
    std::printf("%-46s %10.1f\n", "of which xdotool's own run, ms (median)", median(clickMs));
    return 0;
}
