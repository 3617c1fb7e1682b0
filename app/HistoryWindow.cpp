#include "app/HistoryWindow.h"

#include "app/Guarded.h"
#include "app/UserPrompts.h"
#include "settings/Statistics.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QFile>
#include <QLineSeries>
#include <QLocale>
#include <QMap>
#include <QSet>
#include <QTableWidgetItem>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace
{

// A cell that shows a text and sorts by its number.
class NumberItem final : public QTableWidgetItem
{
public:
    NumberItem(qint64 value, const QString& text)
        : QTableWidgetItem(text)
    {
        setData(Qt::UserRole, value);
    }
    bool operator<(const QTableWidgetItem& other) const override
    {
        return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
    }
};

} // namespace

TfrmHistory::TfrmHistory(QWidget* parent, const QString& file, const QString& entry)
    : QDialog(parent)
    , History(file, {}, vorn::ConnectionHistory::Mode::ReadOnly)
{
    setupUi(this);
    setFixedSize(size());
    tblAttempts->setColumnCount(8);
    tblAttempts->setHorizontalHeaderLabels(
        { QStringLiteral("Entry"), QStringLiteral("Start"), QStringLiteral("Outcome"), QStringLiteral("Time"),
            QStringLiteral("In"), QStringLiteral("Out"), QStringLiteral("Code"), QStringLiteral("Reason") });

    auto* chartView = new QChartView(pnlChart);
    Chart = chartView->chart();
    Chart->legend()->setAlignment(Qt::AlignRight);
    Chart->setMargins(QMargins(0, 0, 0, 0));
    chartView->setRenderHint(QPainter::Antialiasing);
    auto* layout = new QVBoxLayout(pnlChart);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chartView);

    cbEntry->addItem(QStringLiteral("(all entries)"), QString());
    QStringList names;
    for (const auto& attempt : History.attempts().value_or(QList<vorn::Attempt> {}))
        names.append(attempt.entry);
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    for (const auto& name : names)
        cbEntry->addItem(name, name);
    cbEntry->setCurrentIndex(std::max(0, cbEntry->findData(entry)));

    connect(cbEntry, &QComboBox::currentIndexChanged, this, guarded([this] { reload(); }));
    connect(btnExport, &QPushButton::clicked, this, guarded([this] { btnExportClick(); }));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    reload();
}

void TfrmHistory::reload()
{
    const auto attempts = History.attempts(cbEntry->currentData().toString());
    Shown = attempts.value_or(QList<vorn::Attempt> {});
    fillTable(Shown);
    fillChart(Shown);
    fillFailures(Shown);
    if (!attempts)
        lblFailures->setText(History.problem());
}

void TfrmHistory::fillTable(const QList<vorn::Attempt>& attempts)
{
    tblAttempts->setSortingEnabled(false);
    tblAttempts->setRowCount(int(attempts.size()));
    const QLocale locale;
    for (int row = 0; row < attempts.size(); ++row) {
        const vorn::Attempt& a = attempts[row];
        const QDateTime start = QDateTime::fromString(a.start, Qt::ISODate).toLocalTime();
        tblAttempts->setItem(row, 0, new QTableWidgetItem(a.entry));
        tblAttempts->setItem(
            row, 1, new NumberItem(start.toMSecsSinceEpoch(), locale.toString(start, QLocale::ShortFormat)));
        tblAttempts->setItem(row, 2, new QTableWidgetItem(a.outcome));
        const auto put = [&](int column, qint64 value, const QString& text) {
            auto* item = new NumberItem(value, text);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblAttempts->setItem(row, column, item);
        };
        put(3, a.seconds, SecondsToDuration(qint32(std::min<qint64>(a.seconds, INT32_MAX))));
        put(4, a.bytesIn, locale.formattedDataSize(a.bytesIn));
        put(5, a.bytesOut, locale.formattedDataSize(a.bytesOut));
        put(6, a.code, a.code != 0 ? QString::number(a.code) : QString());
        tblAttempts->setItem(row, 7, new QTableWidgetItem(a.text));
    }
    tblAttempts->setSortingEnabled(true);
    tblAttempts->resizeColumnsToContents();
}

void TfrmHistory::fillChart(const QList<vorn::Attempt>& attempts)
{
    Chart->removeAllSeries();
    // The chart lets go of a removed axis without deleting it.
    for (QAbstractAxis* axis : Chart->axes()) {
        Chart->removeAxis(axis);
        delete axis;
    }
    const QDate first = QDate::currentDate().addDays(1 - ChartDays);
    const auto perDay = vorn::connectedPerDay(attempts, first, ChartDays);

    auto* days = new QDateTimeAxis;
    days->setFormat(QStringLiteral("d MMM"));
    days->setTickCount(6);
    days->setRange(first.startOfDay(), first.addDays(ChartDays - 1).startOfDay());
    auto* hours = new QValueAxis;
    hours->setTitleText(QStringLiteral("Hours"));
    hours->setLabelFormat(QStringLiteral("%.1f"));
    Chart->addAxis(days, Qt::AlignBottom);
    Chart->addAxis(hours, Qt::AlignLeft);
    double highest = 0;
    for (auto it = perDay.cbegin(); it != perDay.cend(); ++it) {
        auto* series = new QLineSeries;
        series->setName(it.key());
        for (int day = 0; day < ChartDays; ++day) {
            const double value = double(it.value().at(day)) / 3600.0;
            highest = std::max(highest, value);
            series->append(double(first.addDays(day).startOfDay().toMSecsSinceEpoch()), value);
        }
        Chart->addSeries(series);
        series->attachAxis(days);
        series->attachAxis(hours);
    }
    hours->setRange(0, std::max(1.0, highest * 1.1));
}

void TfrmHistory::fillFailures(const QList<vorn::Attempt>& attempts)
{
    QMap<QString, int> kinds;
    for (const auto& a : attempts) {
        if (a.outcome == QLatin1StringView("failed"))
            ++kinds[a.text.isEmpty() ? QStringLiteral("error %1").arg(a.code) : a.text];
    }
    QStringList parts;
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        parts.append(QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value()));
    lblFailures->setText(parts.isEmpty() ? QStringLiteral("Failures: none")
                                         : QStringLiteral("Failures: ") + parts.join(QStringLiteral("; ")));
}

void TfrmHistory::btnExportClick()
{
    UserPrompts::OpenFileRequest request;
    request.title = QStringLiteral("Export History");
    request.filter = QStringLiteral("CSV files (*.csv)");
    request.defaultSuffix = QStringLiteral("csv");
    request.forSaving = true;
    const QString chosen = UserPrompts::instance().openFile(this, request);
    if (chosen.isEmpty())
        return;
    QFile file(chosen);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(vorn::historyCsv(Shown)) < 0
        || !file.flush()) {
        UserPrompts::instance().messageBox(this, QStringLiteral("Cannot write %1: %2").arg(chosen, file.errorString()),
            QString(), UserPrompts::MB_ICONERROR);
    }
}
