#include "app/Guarded.h"
#include "app/Select.h"
#include "shell/WindowWatchers.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The program's title is that of its window and of its message boxes
    // (UserPrompts); an application display name would be appended to every
    // window title by the platform, so none is set.
    // The layouts are measured in an 11-pixel MS Sans Serif; where it is
    // missing, a narrow sans font of the same pixel height stands in.
    QFont font;
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
        QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica") });
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    QApplication::setFont(font);

    // Message boxes are shown while the main window is hidden in the tray;
    // closing one must not end the program. Only the main window's own close does.
    QApplication::setQuitOnLastWindowClosed(false);
    TfrmSelect frmSelect;
    QObject::connect(&frmSelect, &TfrmSelect::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    runGuarded([&] { frmSelect.FormCreate(); });
    if (frmSelect.startupAborted())
        return 1;
    frmSelect.show();
    const int result = QApplication::exec();
    // Watchers still waiting for their windows end with the program.
    stopAllWatchers();
    return result;
}
