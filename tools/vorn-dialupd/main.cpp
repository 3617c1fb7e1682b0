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
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

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

// The socket's folder must be ours and private; a folder we create is made so.
bool preparePrivateFolder(const QString& folder, bool enforcePrivate)
{
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkpath(folder))
        return false;
    struct stat info {
    };
    if (stat(path.constData(), &info) != 0 || info.st_uid != getuid())
        return false;
    if (enforcePrivate && (info.st_mode & 077) != 0)
        return chmod(path.constData(), 0700) == 0;
    return true;
}

// One service per socket: the lock is held for the service's whole life.
bool lockSocket(const QString& socketPath)
{
    const int fd
        = open(QFile::encodeName(socketPath + QStringLiteral(".lock")).constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
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

    const QString folder = QFileInfo(options.socketPath).absolutePath();
    const bool defaultFolder = folder == vorn::paths::runtimeDir();
    // A folder we create is always private; the default one is kept private.
    const bool created = !QFileInfo::exists(folder);
    if (!preparePrivateFolder(folder, created || defaultFolder)) {
        std::fprintf(stderr, "vorn-dialupd: %s is not a private folder of this user\n", qPrintable(folder));
        return 1;
    }
    if (!lockSocket(options.socketPath))
        return 0; // another service already serves this socket

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
