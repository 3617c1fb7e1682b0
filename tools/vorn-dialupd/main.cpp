// vorn-dialupd: the simulated dial-up service. Started on demand by its
// clients; ends itself when it has been idle for a while.
#include "ConnectionWindows.h"
#include "DialupService.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

constexpr const char* Usage = "usage: vorn-dialupd [--socket PATH] [--idle-exit SECONDS] [--trace]\n";

bool displayReachable()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

// Makes the socket's missing folders, private, and closes our own default
// ones to others; then every folder must pass the check the clients make.
QString prepareFolders(const QString& socketPath)
{
    for (const auto& folder : vorn::sim::socketFolders(socketPath)) {
        const QByteArray path = QFile::encodeName(folder.path);
        struct stat info {
        };
        if (lstat(path.constData(), &info) != 0) {
            QDir().mkpath(QFileInfo(folder.path).absolutePath());
            mkdir(path.constData(), 0700);
        } else if (folder.mustBePrivate && S_ISDIR(info.st_mode) && info.st_uid == getuid()) {
            chmod(path.constData(), 0700);
        }
        if (QString problem = vorn::paths::folderProblem(folder.path, folder.mustBePrivate); !problem.isEmpty())
            return problem;
    }
    return QString();
}

enum class Lock { Taken, Held, Refused };

// One service per socket: the lock is held for the service's whole life. The
// lock file must be a file of this user, never a link to someone else's.
Lock lockSocket(const QString& socketPath, QString* problem)
{
    const QString lockPath = socketPath + QStringLiteral(".lock");
    const int fd = open(QFile::encodeName(lockPath).constData(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {
    };
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid()) {
        *problem = QStringLiteral("%1 is not a lock file of this user").arg(lockPath);
        return Lock::Refused;
    }
    return flock(fd, LOCK_EX | LOCK_NB) == 0 ? Lock::Taken : Lock::Held;
}

// As many clients as the files we may open allow, keeping some for ourselves.
int clientLimit(int wanted)
{
    rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return wanted;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    constexpr rlim_t Reserve = 48; // the display, phonebooks, the lock, Qt's own
    const rlim_t room = files.rlim_cur > Reserve * 2 ? files.rlim_cur - Reserve : files.rlim_cur / 2;
    return static_cast<int>(std::min<rlim_t>(room, static_cast<rlim_t>(wanted)));
}

} // namespace

int main(int argc, char* argv[])
{
    vorn::sim::DialupService::Options options;
    options.socketPath = vorn::sim::socketPath();
    if (const QString idle = qEnvironmentVariable("VORN_DIALUPD_IDLE_EXIT"); !idle.isEmpty())
        options.idleExitSeconds = idle.toInt();
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--socket") == 0 && hasValue) {
            options.socketPath = QFile::decodeName(argv[++i]);
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            options.trace = true;
        } else if (std::strcmp(argv[i], "--idle-exit") == 0 && hasValue) {
            options.idleExitSeconds = std::atoi(argv[++i]);
        } else {
            std::fputs(Usage, stderr);
            return 2;
        }
    }

    // A client that started us passes on a line beginning "vorn-dialupd: " as the reason we did not.
    if (const QString problem = prepareFolders(options.socketPath); !problem.isEmpty()) {
        std::fprintf(stderr, "vorn-dialupd: %s\n", qPrintable(problem));
        return 1;
    }
    QString problem;
    switch (lockSocket(options.socketPath, &problem)) {
    case Lock::Refused:
        std::fprintf(stderr, "vorn-dialupd: %s\n", qPrintable(problem));
        return 1;
    case Lock::Held:
        return 0; // another service already serves this socket
    case Lock::Taken:
        break;
    }
    options.maxClients = clientLimit(options.maxClients);

    const bool withWindows = displayReachable();
    std::unique_ptr<QCoreApplication> app;
    if (withWindows) {
        auto* gui = new QApplication(argc, argv);
        gui->setQuitOnLastWindowClosed(false);
        app.reset(gui);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    vorn::sim::DialupService service(options);
    QString error;
    if (!service.listen(&error)) {
        std::fprintf(
            stderr, "vorn-dialupd: cannot listen on %s: %s\n", qPrintable(options.socketPath), qPrintable(error));
        return 1;
    }
    QObject::connect(&service, &vorn::sim::DialupService::idleTimeout, app.get(), &QCoreApplication::quit);
    std::unique_ptr<vorn::sim::ConnectionWindows> windows;
    if (withWindows)
        windows = std::make_unique<vorn::sim::ConnectionWindows>(service);
    return app->exec();
}
