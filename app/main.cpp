#include "app/Guarded.h"
#include "app/Select.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The title of the task-bar button and of message boxes without their own.
    QApplication::setApplicationDisplayName(QStringLiteral("VORN95 Wizard"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    QApplication::setFont(font);

    TfrmSelect frmSelect;
    runGuarded([&] { frmSelect.FormCreate(); });
    if (frmSelect.startupAborted())
        return 1;
    frmSelect.show();
    return QApplication::exec();
}
