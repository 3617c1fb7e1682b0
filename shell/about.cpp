#include "shell/about.h"

TAboutBox::TAboutBox(QWidget* owner, const QString& backend)
    : QDialog(owner)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    if (!backend.isEmpty())
        Version->setText(Version->text() + QStringLiteral(" - dialing through ") + backend);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
