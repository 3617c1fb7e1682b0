// The chart module's one entry point.
#include "app/chart/DayChart.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <type_traits>

using vorn::chart::DaySeries;

extern "C" Q_DECL_EXPORT void vorn_fill_day_chart_v1(
    QWidget* panel, QDate first, int dayCount, const QList<DaySeries>& series)
{
    auto* view = panel->findChild<QChartView*>();
    if (view == nullptr) {
        view = new QChartView(panel);
        view->chart()->legend()->setAlignment(Qt::AlignRight);
        view->chart()->setMargins(QMargins(0, 0, 0, 0));
        view->setRenderHint(QPainter::Antialiasing);
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    }
    QChart* chart = view->chart();
    chart->removeAllSeries();
    // The chart lets go of a removed axis without deleting it.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto* days = new QDateTimeAxis;
    days->setFormat(QStringLiteral("d MMM"));
    days->setTickCount(6);
    days->setRange(first.startOfDay(), first.addDays(dayCount - 1).startOfDay());
    auto* hours = new QValueAxis;
    hours->setTitleText(QStringLiteral("Hours"));
    hours->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(days, Qt::AlignBottom);
    chart->addAxis(hours, Qt::AlignLeft);
    double highest = 0;
    for (const DaySeries& line : series) {
        auto* drawn = new QLineSeries;
        drawn->setName(line.name);
        for (qsizetype day = 0; day < line.hours.size(); ++day) {
            highest = std::max(highest, line.hours[day]);
            drawn->append(double(first.addDays(day).startOfDay().toMSecsSinceEpoch()), line.hours[day]);
        }
        chart->addSeries(drawn);
        drawn->attachAxis(days);
        drawn->attachAxis(hours);
    }
    hours->setRange(0, std::max(1.0, highest * 1.1));
}

static_assert(std::is_same_v<decltype(&vorn_fill_day_chart_v1), vorn::chart::Fill>);
