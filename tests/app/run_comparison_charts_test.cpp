#include "app/run_comparison_charts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include "tests/support/recording_desktop.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

// A double sweep over `cycles` cycles, repeating its stop bias.
StoredRun DoubleSweep(const std::string& sample, int cycles, double picofarads)
{
    StoredRun run;
    run.sample = sample;
    for (int cycle = 0; cycle < cycles; ++cycle)
        for (int i = 0; i < 22; ++i) {
            const double bias = i <= 10 ? -1 + 0.2 * i : 1 - 0.2 * (i - 11);
            run.points.push_back({bias, picofarads * 1e-12 * (1 + 0.1 * bias), 1e-6});
        }
    return run;
}

std::vector<QString> LegendLabels(QChartView* view)
{
    // The legend's items take their visibility once the view lays them out.
    QCoreApplication::processEvents();
    std::vector<QString> labels;
    for (QLegendMarker* marker : view->chart()->legend()->markers())
        if (marker->isVisible()) labels.push_back(marker->label());
    return labels;
}

QLineSeries* Series(QChartView* view, int index)
{
    return qobject_cast<QLineSeries*>(view->chart()->series().at(index));
}

TEST(RunComparisonCharts, DrawsEachLegAsALineWithOneLegendEntryPerRun)
{
    testing::RecordingDesktop desktop;
    RunComparisonCharts charts(desktop);
    charts.show();
    charts.ShowRuns({DoubleSweep("a", 1, 100), DoubleSweep("b", 2, 50)});
    for (QChartView* view : {charts.CapacitanceChart(), charts.ConductanceChart()}) {
        EXPECT_EQ(view->chart()->series().size(), 2 + 4);
        EXPECT_EQ(LegendLabels(view), (std::vector<QString>{"a", "b"}));
        EXPECT_EQ(Series(view, 5)->pen().color(), QColor(QRgb(0xFF000000u | PaletteColour(1))));
    }
    EXPECT_NEAR(Series(charts.CapacitanceChart(), 0)->at(0).y(), 90.0, 1e-9);

    charts.SetNormalised(true);
    EXPECT_DOUBLE_EQ(Series(charts.CapacitanceChart(), 0)->at(10).y(), 1.0);
}

TEST(RunComparisonCharts, AppendsTheLiveRunWithoutRedrawingTheCharts)
{
    testing::RecordingDesktop desktop;
    RunComparisonCharts charts(desktop);
    charts.show();
    charts.ShowRuns({DoubleSweep("kept", 1, 100)});
    const StoredRun whole = DoubleSweep("live", 2, 300);
    StoredRun live = whole;
    live.source = RunSource::InProgress;
    live.points.clear();
    live.points.push_back(whole.points[0]);
    charts.ShowLiveRun(live);
    const int redraws = charts.Redraws();
    for (std::size_t i = 1; i < whole.points.size(); ++i) {
        live.points.push_back(whole.points[i]);
        charts.ShowLiveRun(live);
    }
    EXPECT_EQ(charts.Redraws(), redraws);
    QChartView* view = charts.CapacitanceChart();
    ASSERT_EQ(view->chart()->series().size(), 2 + 4);
    EXPECT_EQ(LegendLabels(view), (std::vector<QString>{"kept", "live"}));
    // The legs as a whole run of these points draws them.
    RunComparisonCharts afterwards(desktop);
    afterwards.ShowRuns({DoubleSweep("kept", 1, 100), live});
    auto* y = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical).at(0));
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(Series(view, s)->points(), Series(afterwards.CapacitanceChart(), s)->points());
        for (const QPointF& point : Series(view, s)->points())
            EXPECT_TRUE(point.y() >= y->min() && point.y() <= y->max()) << point.y();
    }

    charts.EndLiveRun();
    EXPECT_EQ(view->chart()->series().size(), 2);

    // A long sweep goes into joined pieces, one legend entry for them all.
    StoredRun rising;
    rising.sample = "rising";
    const std::size_t points = 2 * kLiveSeriesPoints + 10;
    for (std::size_t i = 0; i < points; ++i) {
        rising.points.push_back({0.01 * double(i), 100e-12, 1e-6});
        charts.ShowLiveRun(rising);
    }
    ASSERT_EQ(view->chart()->series().size(), 2 + 3);
    EXPECT_EQ(Series(view, 3)->at(0), Series(view, 2)->points().back());
    EXPECT_EQ(Series(view, 4)->points().back().x(), 0.01 * double(points - 1));
    qsizetype drawn = 0;
    for (int s = 2; s < 5; ++s) drawn += Series(view, s)->count();
    EXPECT_EQ(std::size_t(drawn), points + 2);
    EXPECT_EQ(LegendLabels(view), (std::vector<QString>{"kept", "rising"}));

    // Normalised, each larger C moves every point drawn of the run.
    charts.SetNormalised(true);
    const int normalisedRedraws = charts.Redraws();
    for (std::size_t i = 0; i < kLiveSeriesPoints; ++i) {
        rising.points.push_back({0.01 * double(points + i), 100e-12 + 1e-12 * double(i + 1), 0});
        charts.ShowLiveRun(rising);
    }
    EXPECT_EQ(charts.Redraws(), normalisedRedraws);
    const double cmax = 100e-12 + 1e-12 * double(kLiveSeriesPoints);
    EXPECT_DOUBLE_EQ(Series(view, 2)->at(0).y(), 100e-12 / cmax);
    ASSERT_EQ(view->chart()->series().size(), 2 + 4);
    EXPECT_DOUBLE_EQ(Series(view, 5)->points().back().y(), 1.0);
}

TEST(RunComparisonCharts, SavesThePictureAsPngOrSvg)
{
    testing::TempFolder folder;
    testing::RecordingDesktop desktop;
    RunComparisonCharts charts(desktop);
    charts.ShowRuns({DoubleSweep("a", 1, 100)});
    const QImage picture = charts.Picture();
    ASSERT_FALSE(picture.isNull());
    int coloured = 0;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = 0; x < picture.width(); x += 2)
            coloured += QColor(picture.pixel(x, y)).saturation() > 100;
    EXPECT_GT(coloured, 100);

    desktop.saveAnswers = {folder.File("cv").string(), folder.File("both").string()};
    desktop.saveTypes = {1, 0};
    charts.SavePicture();
    charts.SavePicture();
    EXPECT_TRUE(desktop.messages.empty());
    const std::string svg = folder.Read("cv.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("Bias [V]"), std::string::npos);
    EXPECT_EQ(folder.Read("both.png").substr(1, 3), "PNG");
    EXPECT_EQ(desktop.saveSuggestions,
              (std::vector<std::string>{"runs-compared", "runs-compared"}));

    EXPECT_TRUE(
        SaveComparisonPicture(folder.File("none/x.png").string(), charts, PictureFormat::Png)
            .has_value());
}

}  // namespace
}  // namespace quillon
