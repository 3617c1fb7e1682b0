#pragma once

#include "ui_props.h"

#include <QDialog>

#include <functional>

class TRegFile;
class Variant;

// The "Entry Properties" dialog: shows one entry's four statistics and
// resets any of them, each after a confirmation. It writes through the
// wizard's store, whose Key names the entry when the dialog opens.
class TfrmProps : public QDialog, public Ui_TfrmProps
{
    Q_OBJECT

public:
    // `onOk` (the wizard's entry list refresh) runs when the dialog is closed with OK.
    TfrmProps(QWidget* owner, TRegFile& store, std::function<void()> onOk);

    bool ConfirmClear(const QString& fieldName);

    void btnclNAClick();
    void btnclLAClick();
    void btnclLATClick();
    void btnclTATClick();
    void Button1Click();
    // Fills the Failures tab with the failure counts of the entry in lbConn.
    void ListFailures();
    void btnclFailuresClick();

private:
    void clear(const QString& fieldName, const char* valueName, const Variant& value, QLabel* label);

    TRegFile& reg;
    std::function<void()> refreshEntryList;
    // The entry's key: the failure counts are in a subkey of it.
    QString entryKey;
};
