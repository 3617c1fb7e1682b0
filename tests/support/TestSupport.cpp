#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtEndian>

#include <cstdlib>

namespace vorn::test
{

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() >= timeout.count())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

RunResult runProgram(const QString& program, const QStringList& args, int timeoutMs)
{
    RunResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString findWindow(const QString& pattern, qint64 pid, std::chrono::milliseconds timeout)
{
    const QStringList search { QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
        QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), pattern };
    QByteArray found;
    waitUntil(
        [&] {
            found = runProgram(QStringLiteral("xdotool"), search).out.split('\n')[0];
            return !found.isEmpty();
        },
        timeout);
    return QString::fromLatin1(found);
}

bool ServiceProcess::start(QProcessEnvironment environment)
{
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_ + QStringLiteral("/config"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(binPath(QStringLiteral("vorn-dialupd")),
        { QStringLiteral("--socket"), socketPath(), QStringLiteral("--idle-exit"), QStringLiteral("0") });
    return process_.waitForStarted(5000)
        && waitUntil([this] { return QFile::exists(socketPath()); }, std::chrono::seconds(5));
}

void ServiceProcess::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(5000);
    QFile::remove(socketPath());
}

qint64 recordingSize()
{
    return QFile(qEnvironmentVariable("VORN_TEST_RECORDING")).size();
}

SoundScan scanRecording(qint64 from, int threshold)
{
    SoundScan scan;
    QFile file(qEnvironmentVariable("VORN_TEST_RECORDING"));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from & ~qint64(1)))
        return scan;
    const QByteArray raw = file.readAll();
    for (qsizetype i = 0; i < raw.size() / 2; ++i) {
        if (std::abs(int(qFromLittleEndian<qint16>(raw.constData() + 2 * i))) > threshold) {
            if (scan.firstLoud < 0)
                scan.firstLoud = i;
            ++scan.loudSamples;
        }
    }
    return scan;
}

} // namespace vorn::test
