#pragma once

// The history window's chart of connected time per day. Qt Charts brings
// OpenGL along and only this window draws with it, so the chart is a module
// of its own (lib/vorn95/vorn-chart.so), loaded when a history window first
// shows one: the wizard maps neither library until then.
#include <QDate>
#include <QList>
#include <QString>

class QWidget;

namespace vorn::chart
{

// One line of the chart: the hours connected on each day from the first on.
struct DaySeries {
    QString name;
    QList<double> hours;
};

// What the module exports under FillEntry: draws `series` over `dayCount`
// days from `first` on into `panel`, replacing what the panel showed.
using Fill = void (*)(QWidget* panel, QDate first, int dayCount, const QList<DaySeries>& series);
inline constexpr char FillEntry[] = "vorn_fill_day_chart_v1";
inline constexpr char ModuleFile[] = "vorn-chart.so";

} // namespace vorn::chart
