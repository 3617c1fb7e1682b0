// The baseline of bench_wizard: a bare Qt window with one label.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("bare"));
    window.setWindowTitle(QStringLiteral("Bare Qt Window"));
    window.resize(459, 295);
    window.show();
    return QApplication::exec();
}
