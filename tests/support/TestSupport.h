#pragma once

// Helpers of the tests, the benchmarks and the demo; nothing here needs
// GoogleTest.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace vorn::test
{

// Path of a program built beside the tests (bin folder of the build).
QString binPath(const QString& program);

// Path below the source tree, for fixtures in tests/ or resources/.
QString sourcePath(const QString& relative);

// Processes Qt events until pred() holds or the timeout passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

// Runs a program to its end (killed after the timeout).
struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool started = false;
};
RunResult runProgram(const QString& program, const QStringList& args, int timeoutMs = 30000);

// The private desktop of scripts/test-session.sh.
bool inTestSession();

// The first shown window of process `pid` whose title matches the regular
// expression `pattern`, waiting up to `timeout`; empty when none came. Only
// the owner's windows count, so tests running side by side never see each
// other's.
QString findWindow(const QString& pattern, qint64 pid, std::chrono::milliseconds timeout = {});

// The simulated dial-up service on a socket and configuration folder of its
// own below `folder`, killed when this goes away.
class ServiceProcess
{
public:
    explicit ServiceProcess(const QString& folder);
    ~ServiceProcess();
    // Starts it with `environment` (default: this process's) and waits for its socket.
    bool start(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    void kill();
    QString socketPath() const;
    qint64 processId() const { return process_.processId(); }
    QProcess& process() { return process_; }

private:
    QString folder_;
    QProcess process_;
};

// Reads the null sink's recording from byte offset `from`: returns the number
// of 8 kHz samples whose magnitude exceeds `threshold`, and the index of the
// first one (or -1).
struct SoundScan {
    qint64 loudSamples = 0;
    qint64 firstLoud = -1;
};
constexpr int RecordingRate = 8000;
qint64 recordingSize();
SoundScan scanRecording(qint64 from, int threshold = 300);

} // namespace vorn::test
