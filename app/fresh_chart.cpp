#include "app/fresh_chart.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>

namespace quillon {

QChart* FreshChart(QChartView* view, const QString& title)
{
    QChart* old = view->chart();
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    view->setChart(chart);
    delete old;
    return chart;
}

}  // namespace quillon
