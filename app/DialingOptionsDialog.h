#pragma once

#include "rascomp/DialCycle.h"
#include "ui_DialingOptions.h"

#include <QDialog>

// The "Dialing Options" dialog: what to do per kind of failure, rounds and
// redial on a broken line. It shows and returns rules; the caller reads and
// writes them.
class TfrmDialingOptions : public QDialog, public Ui_TfrmDialingOptions
{
    Q_OBJECT

public:
    explicit TfrmDialingOptions(QWidget* owner);

    void setRules(const cycle::Rules& rules);
    cycle::Rules rules() const;

private:
    QComboBox* actionBox(cycle::FailureKind kind) const;
    void cbProtectAccountsClick(bool protect);
};
