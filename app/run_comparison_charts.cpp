#include "app/run_comparison_charts.h"

#include <QBuffer>
#include <QClipboard>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "analysis/graph_axes.h"
#include "analysis/result_table.h"
#include "app/fresh_chart.h"

namespace quillon {

namespace {

// Each chart's size in a picture taken while the charts are not on screen.
constexpr QSize kPictureChartSize(560, 420);
constexpr qreal kRunLineWidth = 1.5;
constexpr int kMostTicks = 7;
// The run in progress stands out from the kept runs.
constexpr qreal kLiveLineWidth = 2.5;

QColor Colour(uint32_t rgb)
{
    return QColor(QRgb(0xFF000000u | rgb));
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QList<QPointF> Points(const Polyline& line)
{
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(line.size()));
    for (const ChartPoint& point : line) points.append({point.x, point.y});
    return points;
}

QChartView* MakeChartView(const QString& title, QWidget* parent)
{
    auto* view = new QChartView(parent);
    FreshChart(view, title);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(240, 180);
    return view;
}

// A linear axis gets round ticks anchored at 0, whatever its margins.
void SetRange(QAbstractAxis* axis, const AxisRange& range)
{
    axis->setRange(range.low, range.high);
    auto* linear = qobject_cast<QValueAxis*>(axis);
    if (!linear) return;
    const std::vector<double> ticks = RoundTicks(range.low, range.high, kMostTicks);
    if (ticks.size() < 2) return;
    linear->setTickType(QValueAxis::TicksDynamic);
    linear->setTickAnchor(0);
    linear->setTickInterval(ticks[1] - ticks[0]);
}

// The chart as its view shows it, or at a picture's size while the view is
// not on screen, laid out now rather than when the event loop gets to it.
QRectF ChartArea(QChartView* view)
{
    QChart* chart = view->chart();
    if (!view->isVisible()) chart->resize(kPictureChartSize);
    if (QGraphicsLayout* layout = chart->layout()) layout->activate();
    return chart->geometry();
}

// The charts side by side as on screen, from the painter's origin; the size
// they take.
QSizeF PaintCharts(QPainter* painter, QChartView* left, QChartView* right)
{
    const QRectF leftArea = ChartArea(left);
    const QRectF rightArea = ChartArea(right);
    const QSizeF size(leftArea.width() + rightArea.width(),
                      std::max(leftArea.height(), rightArea.height()));
    if (painter) {
        painter->fillRect(QRectF(QPointF(0, 0), size), Qt::white);
        left->scene()->render(painter, QRectF(QPointF(0, 0), leftArea.size()), leftArea);
        right->scene()->render(painter, QRectF(QPointF(leftArea.width(), 0), rightArea.size()),
                               rightArea);
    }
    return size;
}

}  // namespace

RunComparisonCharts::RunComparisonCharts(Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop)
{
    capacitanceView_ = MakeChartView("C-V", this);
    conductanceView_ = MakeChartView("G-V", this);
    notes_ = new QLabel(this);
    notes_->setWordWrap(true);
    notes_->hide();
    auto* charts = new QHBoxLayout;
    charts->addWidget(capacitanceView_);
    charts->addWidget(conductanceView_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(charts, 1);
    layout->addWidget(notes_);
    Redraw();
}

void RunComparisonCharts::ShowRuns(const std::vector<StoredRun>& ticked)
{
    ticked_ = ticked;
    Redraw();
}

void RunComparisonCharts::ShowLiveRun(const StoredRun& inProgress)
{
    const auto sameStart = [](const std::optional<std::tm>& a, const std::optional<std::tm>& b) {
        if (!a || !b) return !a && !b;
        return a->tm_year == b->tm_year && a->tm_mon == b->tm_mon && a->tm_mday == b->tm_mday &&
               a->tm_hour == b->tm_hour && a->tm_min == b->tm_min && a->tm_sec == b->tm_sec;
    };
    if (!live_ || inProgress.points.size() < live_->points.size() ||
        !sameStart(inProgress.started, live_->started) || inProgress.path != live_->path) {
        live_ = inProgress;
        Redraw();
        return;
    }
    // Only the new points are copied: the run's label and colour stay as
    // its first call gave them until the next full redraw.
    const std::size_t had = live_->points.size();
    live_->points.insert(live_->points.end(), inProgress.points.begin() + std::ptrdiff_t(had),
                         inProgress.points.end());
    if (inProgress.legs.size() > live_->legs.size())
        live_->legs.insert(live_->legs.end(),
                           inProgress.legs.begin() + std::ptrdiff_t(live_->legs.size()),
                           inProgress.legs.end());
    if (live_->points.size() == had) return;
    ExtendRunTrace(liveTrace_, *live_);

    // A unit that no longer reads well, or a run that can now be normalised,
    // changes every line.
    ComparisonChart& c = curves_.capacitance;
    ComparisonChart& g = curves_.conductance;
    c.largestMagnitude = std::max(c.largestMagnitude, liveTrace_.largestCapacitanceMagnitude);
    g.largestMagnitude = std::max(g.largestMagnitude, liveTrace_.largestConductanceMagnitude);
    double capacitanceFactor = c.yUnit.factor;
    if (options_.normalisedCapacitance)
        capacitanceFactor =
            liveTrace_.largestCapacitance > 0 ? 1 / liveTrace_.largestCapacitance : 0;
    else if (CapacitanceUnit(c.largestMagnitude).factor != c.yUnit.factor)
        return Redraw();
    if (ConductanceUnit(g.largestMagnitude).factor != g.yUnit.factor ||
        (capacitanceFactor > 0) != liveCapacitance_.drawn)
        return Redraw();

    if (liveCapacitance_.drawn)
        ExtendLive(capacitanceView_->chart(), c, liveTrace_.capacitance, capacitanceFactor,
                   liveCapacitance_);
    ExtendLive(conductanceView_->chart(), g, liveTrace_.conductance, g.yUnit.factor,
               liveConductance_);
    if (liveTrace_.conductanceLeftOut != liveLeftOut_) {
        liveLeftOut_ = liveTrace_.conductanceLeftOut;
        ShowNotes();
    }
}

void RunComparisonCharts::EndLiveRun()
{
    if (!live_) return;
    live_.reset();
    Redraw();
}

void RunComparisonCharts::SetNormalised(bool normalised)
{
    if (options_.normalisedCapacitance == normalised) return;
    options_.normalisedCapacitance = normalised;
    Redraw();
}

void RunComparisonCharts::SetLogConductance(bool logarithmic)
{
    if (options_.logConductance == logarithmic) return;
    options_.logConductance = logarithmic;
    Redraw();
}

void RunComparisonCharts::Redraw()
{
    ++redraws_;
    std::vector<ComparedRun> compared;
    for (std::size_t i = 0; i < ticked_.size(); ++i) compared.push_back({&ticked_[i], i});
    if (live_) compared.push_back({&*live_, ticked_.size()});
    curves_ = MakeComparisonCurves(compared, options_);
    liveTrace_ = RunTrace{};
    liveTrace_.logConductance = options_.logConductance;
    if (live_) ExtendRunTrace(liveTrace_, *live_);
    liveLeftOut_ = liveTrace_.conductanceLeftOut;
    DrawChart(capacitanceView_->chart(), curves_.capacitance, liveTrace_.capacitance,
              liveCapacitance_);
    DrawChart(conductanceView_->chart(), curves_.conductance, liveTrace_.conductance,
              liveConductance_);
    ShowNotes();
}

void RunComparisonCharts::DrawChart(QChart* chart, ComparisonChart& curves,
                                    const std::vector<Polyline>& liveLines, LiveLines& live)
{
    chart->removeAllSeries();
    // The axes stay with their chart, a linear and a logarithmic one for y,
    // the unused one hidden: Qt Charts 6.4 keeps drawing the axes removed
    // from a chart that was laid out once, and a fresh chart costs every
    // later point of the run in progress a new layout.
    QValueAxis* x = nullptr;
    QValueAxis* linear = nullptr;
    QLogValueAxis* logarithmic = nullptr;
    for (QAbstractAxis* axis : chart->axes()) {
        if (auto* value = qobject_cast<QValueAxis*>(axis))
            (axis->orientation() == Qt::Horizontal ? x : linear) = value;
        if (auto* log = qobject_cast<QLogValueAxis*>(axis)) logarithmic = log;
    }
    if (!x) {
        x = new QValueAxis;
        x->setLabelFormat("%g");
        chart->addAxis(x, Qt::AlignBottom);
        linear = new QValueAxis;
        linear->setLabelFormat("%g");
        chart->addAxis(linear, Qt::AlignLeft);
        logarithmic = new QLogValueAxis;
        logarithmic->setBase(10);
        logarithmic->setLabelFormat("%g");
        chart->addAxis(logarithmic, Qt::AlignLeft);
    }
    QAbstractAxis* y = curves.logarithmic ? static_cast<QAbstractAxis*>(logarithmic) : linear;
    linear->setVisible(!curves.logarithmic);
    logarithmic->setVisible(curves.logarithmic);
    x->setTitleText(Text(curves.xTitle));
    y->setTitleText(Text(curves.yUnit.title));
    SetRange(x, curves.xRange);
    SetRange(y, curves.yRange);

    live = LiveLines{};
    live.x = x;
    live.y = y;
    live.rewrites = liveTrace_.rewrites;
    const std::size_t liveRun = live_ ? ticked_.size() : SIZE_MAX;
    for (const RunCurves& run : curves.runs) {
        if (run.run == liveRun) {
            live.drawn = true;
            live.yFactor = run.yFactor;
            live.label = Text(run.label);
            live.colour = Colour(run.colour);
            continue;
        }
        for (std::size_t k = 0; k < run.lines.size(); ++k)
            AddSeries(chart, live, Text(run.label), Colour(run.colour), kRunLineWidth, k == 0)
                ->replace(Points(run.lines[k]));
    }
    // In pieces, as its next points will come.
    if (live.drawn) ExtendLive(chart, curves, liveLines, live.yFactor, live);
}

QLineSeries* RunComparisonCharts::AddSeries(QChart* chart, const LiveLines& axes,
                                            const QString& label, const QColor& colour, qreal width,
                                            bool inLegend)
{
    auto* series = new QLineSeries;
    series->setName(label);
    series->setPen(QPen(colour, width));
    chart->addSeries(series);
    series->attachAxis(axes.x);
    series->attachAxis(axes.y);
    // One legend entry per run, however many legs it has.
    if (!inLegend)
        for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
    return series;
}

void RunComparisonCharts::ExtendLive(QChart* chart, ComparisonChart& curves,
                                     const std::vector<Polyline>& lines, double yFactor,
                                     LiveLines& live)
{
    if (liveTrace_.rewrites != live.rewrites) {
        for (const std::vector<LivePiece>& pieces : live.lines)
            for (const LivePiece& piece : pieces) {
                chart->removeSeries(piece.series);
                delete piece.series;
            }
        live.lines.clear();
        live.drawnPoints.clear();
    } else if (yFactor != live.yFactor) {
        // A new Cmax: the points drawn move, their series stay. Each piece
        // after the first starts with the last point of the one before.
        for (std::size_t k = 0; k < live.lines.size(); ++k)
            for (std::size_t p = 0; p < live.lines[k].size(); ++p) {
                QList<QPointF>& points = live.lines[k][p].points;
                const std::size_t first = p * (kLiveSeriesPoints - 1);
                for (qsizetype j = 0; j < points.size(); ++j)
                    points[j].setY(lines[k][first + std::size_t(j)].y * yFactor);
                live.lines[k][p].series->replace(points);
            }
    }
    live.yFactor = yFactor;
    live.rewrites = liveTrace_.rewrites;
    // Every line before the last drawn one is as it was.
    bool outside = false;
    for (std::size_t k = live.lines.empty() ? 0 : live.lines.size() - 1; k < lines.size(); ++k) {
        if (k == live.lines.size()) {
            live.lines.emplace_back();
            live.drawnPoints.push_back(0);
        }
        std::vector<LivePiece>& pieces = live.lines[k];
        const std::size_t firstChanged = pieces.empty() ? 0 : pieces.size() - 1;
        for (std::size_t i = live.drawnPoints[k]; i < lines[k].size(); ++i) {
            if (pieces.empty() || std::size_t(pieces.back().points.size()) >= kLiveSeriesPoints) {
                LivePiece piece;
                piece.series = AddSeries(chart, live, live.label, live.colour, kLiveLineWidth,
                                         k == 0 && pieces.empty());
                // The pieces of a line join.
                if (!pieces.empty()) piece.points.append(pieces.back().points.back());
                pieces.push_back(std::move(piece));
            }
            const QPointF point(lines[k][i].x, lines[k][i].y * yFactor);
            pieces.back().points.append(point);
            curves.xSpan.Add(point.x());
            curves.ySpan.Add(point.y());
            outside = outside || !curves.xRange.Holds(point.x()) || !curves.yRange.Holds(point.y());
        }
        live.drawnPoints[k] = lines[k].size();
        for (std::size_t p = firstChanged; p < pieces.size(); ++p)
            pieces[p].series->replace(pieces[p].points);
    }
    // The axes change only when a point falls outside them, and then with
    // a margin, so that most points leave them as they are.
    if (outside) {
        curves.xRange = RangeWithMargin(curves.xSpan, false);
        curves.yRange = RangeWithMargin(curves.ySpan, curves.logarithmic);
        SetRange(live.x, curves.xRange);
        SetRange(live.y, curves.yRange);
    }
}

void RunComparisonCharts::ShowNotes()
{
    std::vector<std::string> notes = curves_.capacitance.notes;
    for (const std::string& note : curves_.conductance.notes) notes.push_back(note);
    // The run in progress leaves out more points as it goes.
    const std::size_t liveRun = ticked_.size();
    if (live_) {
        for (const RunCurves& run : curves_.conductance.runs)
            if (run.run == liveRun) {
                const std::string before = ConductanceLeftOutNote(run.label, run.pointsLeftOut);
                notes.erase(std::remove(notes.begin(), notes.end(), before), notes.end());
                if (liveLeftOut_ > 0)
                    notes.push_back(ConductanceLeftOutNote(run.label, liveLeftOut_));
            }
    }
    QString text;
    for (const std::string& note : notes) text += (text.isEmpty() ? "" : "\n") + Text(note);
    notes_->setText(text);
    notes_->setVisible(!text.isEmpty());
}

QImage RunComparisonCharts::Picture()
{
    const QSize size = PaintCharts(nullptr, capacitanceView_, conductanceView_).toSize();
    if (size.isEmpty()) return QImage();
    const qreal ratio = kPictureScale * devicePixelRatioF();
    QImage image(qCeil(size.width() * ratio), qCeil(size.height() * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintCharts(&painter, capacitanceView_, conductanceView_);
    return image;
}

void RunComparisonCharts::CopyPicture()
{
    QGuiApplication::clipboard()->setImage(Picture());
}

void RunComparisonCharts::SavePicture()
{
    const SaveChoice choice = desktop_.AskSaveFile(kPictureFileFilter, "runs-compared");
    if (choice.path.empty()) return;
    const PictureFormat format = choice.type == static_cast<std::size_t>(PictureFormat::Svg)
                                     ? PictureFormat::Svg
                                     : PictureFormat::Png;
    const std::optional<std::string> fileName =
        ConfirmedFileName(desktop_, choice.path, PictureExtension(format), "Save picture");
    if (!fileName) return;
    if (std::optional<std::string> failure = SaveComparisonPicture(*fileName, *this, format))
        desktop_.ShowMessage(*failure);
}

QByteArray ComparisonPictureBytes(RunComparisonCharts& charts, PictureFormat format)
{
    if (format == PictureFormat::Png) return PngBytes(charts.Picture());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QSize size =
        PaintCharts(nullptr, charts.CapacitanceChart(), charts.ConductanceChart()).toSize();
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle("quillon runs compared");
    QPainter painter(&svg);
    PaintCharts(&painter, charts.CapacitanceChart(), charts.ConductanceChart());
    painter.end();
    return bytes;
}

std::optional<std::string> SaveComparisonPicture(const std::string& path,
                                                 RunComparisonCharts& charts, PictureFormat format)
{
    return SavePictureBytes(path, ComparisonPictureBytes(charts, format));
}

}  // namespace quillon
