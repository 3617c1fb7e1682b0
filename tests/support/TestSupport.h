#pragma once

// Helpers of the tests, the benchmarks and the demo (no GoogleTest).
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace vorn::test
{

inline QString binPath(const QString& program)
{
    return QStringLiteral(VORN_BIN_DIR "/") + program;
}

inline QString sourcePath(const QString& relative)
{
    return QStringLiteral(VORN_SOURCE_DIR "/") + relative;
}

// Processes Qt events until pred() holds or the timeout passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

// Runs a program to its end (killed after the timeout); exit code -1: did not start or crashed.
struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
RunResult runProgram(const QString& program, const QStringList& args, int timeoutMs = 30000);

// The private desktop of scripts/test-session.sh.
inline bool inTestSession()
{
    return qEnvironmentVariableIsSet("VORN_TEST_SESSION") && qEnvironmentVariableIsSet("DISPLAY");
}

// The id of `pid`'s first shown window whose title matches `pattern`, waiting
// up to `timeout`; by owner so that tests running side by side never meet.
QString findWindow(const QString& pattern, qint64 pid, std::chrono::milliseconds timeout = {});

// The simulated dial-up service with its socket and configuration below `folder`.
class ServiceProcess
{
public:
    explicit ServiceProcess(const QString& folder)
        : folder_(folder)
    {
    }
    ~ServiceProcess() { kill(); }
    // Starts it and waits for its socket.
    bool start(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    void kill();
    QString socketPath() const { return folder_ + QStringLiteral("/run/dialup.sock"); }
    qint64 processId() const { return process_.processId(); }
    QProcess& process() { return process_; }

private:
    QString folder_;
    QProcess process_;
};

// The 8 kHz samples of the null sink's recording from byte `from` on above `threshold`.
struct SoundScan {
    qint64 loudSamples = 0;
    qint64 firstLoud = -1;
};
constexpr int RecordingRate = 8000;
qint64 recordingSize();
SoundScan scanRecording(qint64 from, int threshold = 300);

} // namespace vorn::test
