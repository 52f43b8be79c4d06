// A chart drawn anew goes into a chart of its own: Qt Charts 6.4 keeps
// drawing the axes removed from a chart that was laid out once.
#pragma once

#include <QString>

class QChart;
class QChartView;

namespace quillon {

// A new chart titled `title`, its legend below, in place of the view's
// old one, which goes with its series and axes.
QChart* FreshChart(QChartView* view, const QString& title);

}  // namespace quillon
