// The longest time the UI thread spends inside one call of the dial-up engine,
// while it dials as the wizard does (10 s) and while it watches a connection
// as the wizard's monitor does (10 s), with the simulated service healthy and
// with it stopped (SIGSTOP), printed side by side.
#include "platform/sim/SimRemoteAccess.h"
#include "rascomp/Rascomp32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace vorn;

namespace
{

constexpr int PhaseMs = 10000;

const QByteArray phonebookText = "[Quick]\nStepDelay=20\n\n"
                                 "[Ringing]\nStepDelay=60000\n";

// Handles events for `ms`, as the wizard's loops do between their polls.
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Times every engine call and keeps the longest.
class Stopwatch
{
public:
    template <typename Call> auto operator()(Call call)
    {
        QElapsedTimer timer;
        timer.start();
        auto result = call();
        longest_ = std::max(longest_, timer.nsecsElapsed());
        return result;
    }
    double longestMs() const { return double(longest_) / 1e6; }

private:
    qint64 longest_ = 0;
};

class Service
{
public:
    explicit Service(const QTemporaryDir& dir)
        : socket_(dir.filePath(QStringLiteral("dialup.sock")))
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.remove(QStringLiteral("DISPLAY"));
        process_.setProcessEnvironment(env);
        process_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vorn-dialupd"),
            { QStringLiteral("--socket"), socket_, QStringLiteral("--idle-exit"), QStringLiteral("0") });
        process_.waitForStarted();
        for (int i = 0; i < 250 && !QFile::exists(socket_); ++i)
            runEvents(20);
    }
    ~Service()
    {
        process_.kill();
        process_.waitForFinished();
    }
    const QString& socket() const { return socket_; }
    void freeze(bool frozen) { ::kill(pid_t(process_.processId()), frozen ? SIGSTOP : SIGCONT); }

private:
    QString socket_;
    QProcess process_;
};

// Dials an entry that rings for ever, polling as the wizard's dialing loop
// does; a failed attempt is hung up and, after a pause, dialed again.
double dialing(const QString& phonebook, bool frozen)
{
    QTemporaryDir dir;
    Service service(dir);
    TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(service.socket()));
    engine.setPhoneBookPath(phonebook);
    engine.EntryName = QStringLiteral("Ringing");
    Stopwatch watch;
    QElapsedTimer phase;
    phase.start();
    watch([&] { return engine.Dial(); });
    runEvents(300);
    service.freeze(frozen);
    while (!phase.hasExpired(PhaseMs)) {
        runEvents(100);
        watch([&] { return engine.StatusText(); });
        if (watch([&] { return engine.QueryStatus(); }) > 601) {
            watch([&] { return engine.HangUp(); });
            runEvents(1000);
            watch([&] { return engine.Dial(); });
        }
    }
    watch([&] { return engine.HangUp(); });
    service.freeze(false);
    return watch.longestMs();
}

// Watches a connection once a second, as the wizard's monitor does.
double connected(const QString& phonebook, bool frozen)
{
    QTemporaryDir dir;
    Service service(dir);
    TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(service.socket()));
    engine.setPhoneBookPath(phonebook);
    bool isConnected = false;
    engine.OnConnect = [&](QObject*) { isConnected = true; };
    engine.EntryName = QStringLiteral("Quick");
    engine.Dial();
    for (int i = 0; i < 100 && !isConnected; ++i)
        runEvents(50);
    service.freeze(frozen);
    Stopwatch watch;
    QElapsedTimer phase;
    phase.start();
    while (!phase.hasExpired(PhaseMs)) {
        watch([&] { return engine.EnumConnections(); });
        runEvents(1000);
    }
    watch([&] { return engine.HangUp(); });
    service.freeze(false);
    return watch.longestMs();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString phonebook = dir.filePath(QStringLiteral("bench.pbk"));
    QFile file(phonebook);
    if (!file.open(QIODevice::WriteOnly) || file.write(phonebookText) != phonebookText.size())
        return 1;
    file.close();

    std::printf("Longest time the UI thread spent inside one engine call (ms)\n");
    std::printf("%-26s %10s %10s\n", "", "healthy", "stopped");
    std::printf("%-26s %10.2f %10.2f\n", "dialing, 10 s", dialing(phonebook, false), dialing(phonebook, true));
    std::printf("%-26s %10.2f %10.2f\n", "connected, 10 s", connected(phonebook, false), connected(phonebook, true));
    std::printf("%-26s %10s %10s\n", "goal", "< 20", "< 50");
    return 0;
}
