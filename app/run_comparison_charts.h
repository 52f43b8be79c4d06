// The Runs window's comparison charts: C-V and G-V of the ticked runs side
// by side, each run in its own colour with one legend entry, and the run in
// progress drawn beside them as its points come. The two charts go away as
// one picture: copied, or saved as PNG or SVG.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "analysis/comparison_curves.h"
#include "app/picture_export.h"
#include "platform/desktop.h"

class QAbstractAxis;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;

namespace quillon {

// The most points of one series of the run in progress: a new point redraws
// only the last series, whose cost does not grow with the run.
inline constexpr std::size_t kLiveSeriesPoints = 256;

class RunComparisonCharts final : public QWidget {
    Q_OBJECT

public:
    explicit RunComparisonCharts(Desktop& desktop, QWidget* parent = nullptr);

    // The runs ticked, in their colours by position.
    void ShowRuns(const std::vector<StoredRun>& ticked);
    // The run being measured, drawn after the ticked ones; called again with
    // each new point. A run with fewer points or another start than the one
    // shown is a new run.
    void ShowLiveRun(const StoredRun& inProgress);
    // The run in progress is no longer drawn.
    void EndLiveRun();
    void SetNormalised(bool normalised);
    void SetLogConductance(bool logarithmic);

    // Both charts with their axes, units and legends, at twice the screen's
    // resolution.
    QImage Picture();
    void CopyPicture();
    // The save dialog, then SaveComparisonPicture; a failure is shown.
    void SavePicture();

    QChartView* CapacitanceChart() const { return capacitanceView_; }
    QChartView* ConductanceChart() const { return conductanceView_; }
    // Why runs or points are left out.
    QLabel* Notes() const { return notes_; }
    // Full redraws so far: the live run's points must not add to them.
    int Redraws() const { return redraws_; }

private:
    // The live run's lines in one chart.
    // A stretch of a live line, as last given to its series.
    struct LivePiece {
        QLineSeries* series = nullptr;
        QList<QPointF> points;
    };
    struct LiveLines {
        QAbstractAxis* x = nullptr;
        QAbstractAxis* y = nullptr;
        QString label;
        QColor colour;
        std::vector<std::vector<LivePiece>> lines;  // the pieces of each polyline
        std::vector<std::size_t> drawnPoints;       // of each polyline
        double yFactor = 0;
        std::size_t rewrites = 0;
        bool drawn = false;  // the run has a place in this chart
    };

    void Redraw();
    void DrawChart(QChart* chart, ComparisonChart& curves, const std::vector<Polyline>& liveLines,
                   LiveLines& live);
    QLineSeries* AddSeries(QChart* chart, const LiveLines& axes, const QString& label,
                           const QColor& colour, qreal width, bool inLegend);
    void ExtendLive(QChart* chart, ComparisonChart& curves, const std::vector<Polyline>& lines,
                    double yFactor, LiveLines& live);
    void ShowNotes();

    Desktop& desktop_;
    QChartView* capacitanceView_ = nullptr;
    QChartView* conductanceView_ = nullptr;
    QLabel* notes_ = nullptr;
    ComparisonOptions options_;
    std::vector<StoredRun> ticked_;
    std::optional<StoredRun> live_;
    RunTrace liveTrace_;
    ComparisonCurves curves_;
    LiveLines liveCapacitance_;
    LiveLines liveConductance_;
    std::size_t liveLeftOut_ = 0;
    int redraws_ = 0;
};

// The picture's file content: PNG of the charts' picture, or an SVG drawing.
QByteArray ComparisonPictureBytes(RunComparisonCharts& charts, PictureFormat format);

// Writes the picture in one step (an older file of that name stays whole
// when anything fails). No value on success, otherwise the message for the
// user.
std::optional<std::string> SaveComparisonPicture(const std::string& path,
                                                 RunComparisonCharts& charts, PictureFormat format);

}  // namespace quillon
