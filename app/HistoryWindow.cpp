#include "app/HistoryWindow.h"

#include "app/Guarded.h"
#include "app/UserPrompts.h"
#include "app/chart/DayChart.h"
#include "platform/Modules.h"
#include "settings/Statistics.h"

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMap>
#include <QSet>
#include <QTableWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <bit>

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
    using vorn::chart::DaySeries;
    const QDate first = QDate::currentDate().addDays(1 - ChartDays);
    const auto perDay = vorn::connectedPerDay(attempts, first, ChartDays);
    QList<DaySeries> series;
    for (auto it = perDay.cbegin(); it != perDay.cend(); ++it) {
        DaySeries& line = series.emplace_back(DaySeries { it.key(), {} });
        for (const qint64 seconds : it.value())
            line.hours.append(double(seconds) / 3600.0);
    }

    // Loaded once; when it cannot be, the panel says why instead.
    static QString reason;
    static const auto fill = std::bit_cast<vorn::chart::Fill>(vorn::modules::entryPoint(
        vorn::modules::file(QString::fromLatin1(vorn::chart::ModuleFile)), vorn::chart::FillEntry, reason));
    if (fill != nullptr) {
        fill(pnlChart, first, ChartDays, series);
    } else if (pnlChart->layout() == nullptr) {
        auto* problem = new QLabel(QStringLiteral("The chart cannot be shown: %1.").arg(reason), pnlChart);
        problem->setWordWrap(true);
        (new QVBoxLayout(pnlChart))->addWidget(problem);
    }
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
