#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("VORN95 Wizard"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("VORN95 Wizard"));
    window.show();
    return QApplication::exec();
}
