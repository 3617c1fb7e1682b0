// The baseline of bench_wizard: a plain Qt window of the wizard's size with
// what its selection page shows (a label, a list of 20 entries with icons,
// three buttons) and no program behind it.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Qt Window"));
    window.resize(459, 295);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Choose the entries to dial:")));
    auto* list = new QListWidget;
    const QIcon icon = window.style()->standardIcon(QStyle::SP_DriveNetIcon);
    for (int i = 0; i < 20; ++i) {
        auto* item = new QListWidgetItem(icon, QStringLiteral("Entry %1").arg(i), list);
        item->setCheckState(Qt::Unchecked);
    }
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    for (const char* text : { "< Back", "Next >", "Cancel" })
        buttons->addWidget(new QPushButton(QString::fromLatin1(text)));
    layout->addLayout(buttons);
    window.show();
    return QApplication::exec();
}
