#pragma once

#include "settings/History.h"
#include "ui_History.h"

#include <QDialog>

// The connection history: every attempt in a sortable table with a filter by
// entry, the connected time per day of the last 30 days (one series per
// entry), the failures by kind, and an export as CSV.
class TfrmHistory : public QDialog, public Ui_TfrmHistory
{
    Q_OBJECT

public:
    // Shows the history of `file`, filtered to `entry` when it is not empty.
    TfrmHistory(QWidget* parent, const QString& file, const QString& entry = {});

    static constexpr int ChartDays = 30;

    void btnExportClick();

private:
    void reload();
    void fillTable(const QList<vorn::Attempt>& attempts);
    void fillChart(const QList<vorn::Attempt>& attempts);
    void fillFailures(const QList<vorn::Attempt>& attempts);

    vorn::ConnectionHistory History;
    QList<vorn::Attempt> Shown;
};
