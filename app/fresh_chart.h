// The pieces the Analysis window's charts are made of. A chart drawn anew
// goes into a chart of its own: Qt Charts 6.4 keeps drawing the axes
// removed from a chart that was laid out once.
#pragma once

#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>

class QAbstractAxis;
class QAbstractSeries;
class QChart;
class QChartView;
class QWidget;

namespace quillon {

// A new chart titled `title`, its legend below, in place of the view's
// old one, which goes with its series and axes.
QChart* FreshChart(QChartView* view, const QString& title);

// An antialiased view of an empty chart, at least `minimumWidth` by
// `minimumHeight` pixels.
QChartView* MakeChartView(QWidget* parent, int minimumWidth, int minimumHeight);

// Axes first, then the series on them: a series attached before its chart
// has the axes is drawn against none (Qt Charts 6.4).
void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y);

// The span of the finite values added; empty while none is.
struct Span {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void Add(double value)
    {
        if (!std::isfinite(value)) return;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool Empty() const { return low > high; }
};

}  // namespace quillon
