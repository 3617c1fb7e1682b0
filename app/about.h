#pragma once

#include "ui_about.h"

#include <QDialog>

// The About box: the program's name, version, credits and a contact address.
class TAboutBox : public QDialog, public Ui_TAboutBox
{
    Q_OBJECT

public:
    // `backend` names the dial-up service in use; empty leaves it unmentioned.
    explicit TAboutBox(QWidget* owner, const QString& backend = {});
};
