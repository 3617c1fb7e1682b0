// initvorn: the installation initializer. Writes "vorninfo.pdt" into the
// current folder with the title of the window the dial-up application shows
// when a connection is made; the wizard plays its tune when that window appears.
#include "platform/Platform.h"
#include "platform/RemoteAccess.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString title = vorn::platform::remoteAccess()->connectedWindowTitle();
    // Written whole or not at all: the wizard polls for this file.
    QSaveFile file(QStringLiteral("vorninfo.pdt"));
    if (!file.open(QIODevice::WriteOnly) || file.write(title.toUtf8() + '\n') < 0 || !file.commit()) {
        std::fprintf(stderr, "initvorn: cannot write vorninfo.pdt: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
