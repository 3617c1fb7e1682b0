#include "app/about.h"

TAboutBox::TAboutBox(QWidget* owner, const QString& backend)
    : QDialog(owner)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    if (!backend.isEmpty())
        Label2->setText(Label2->text() + QStringLiteral("\nDial-up service: ") + backend + QLatin1Char('.'));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
