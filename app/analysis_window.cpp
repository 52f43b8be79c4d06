#include "app/analysis_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/csv_data_file.h"
#include "analysis/result_table.h"
#include "app/frequency_analysis_view.h"
#include "app/fresh_chart.h"
#include "app/screen_fit.h"

namespace quillon {

namespace {

constexpr double kPicofaradsPerFarad = 1e12;
constexpr int kTableColumns = 4;

// The step of 1, 2 or 5 times a power of ten that cuts the span into about
// five parts.
double TickStep(double span)
{
    const double rough = span / 5;
    const double power = std::pow(10, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough) return factor * power;
    return 10 * power;
}

// Ticks anchored at 0, so that 0 is labelled "0" and not a rounding residue.
QValueAxis* LinearAxis(const QString& title, const Span& span)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    double low = span.Empty() ? 0 : span.low;
    double high = span.Empty() ? 1 : span.high;
    if (high <= low) {
        const double widening = std::max(std::fabs(low) * 0.1, 1.0);
        low -= widening;
        high += widening;
    }
    const double step = TickStep(high - low);
    axis->setRange(std::floor(low / step) * step, std::ceil(high / step) * step);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setLabelFormat("%g");
    return axis;
}

// Whole decades, with room above and below the values.
QLogValueAxis* LogarithmicAxis(const QString& title, const Span& span)
{
    auto* axis = new QLogValueAxis;
    axis->setTitleText(title);
    axis->setBase(10);
    axis->setLabelFormat("%.0e");
    const double low = span.Empty() || span.low <= 0 ? 1e14 : span.low / 2;
    const double high = span.Empty() || span.high <= 0 ? 1e18 : span.high * 2;
    axis->setRange(std::pow(10, std::floor(std::log10(low))),
                   std::pow(10, std::ceil(std::log10(high))));
    return axis;
}

void PlaceAxes(QChart* chart, QAbstractAxis* x, QAbstractAxis* y)
{
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
}

// A line through the points; the spans grow to take them in.
QLineSeries* Line(const QString& name, const QList<QPointF>& points, Span& x, Span& y)
{
    auto* line = new QLineSeries;
    line->setName(name);
    line->append(points);
    for (const QPointF& point : points) {
        x.Add(point.x());
        y.Add(point.y());
    }
    return line;
}

// A dashed straight line that marks a value.
QLineSeries* Mark(const QString& name, QColor colour, QPointF from, QPointF to)
{
    auto* mark = new QLineSeries;
    mark->setName(name);
    QPen pen(colour);
    pen.setStyle(Qt::DashLine);
    pen.setWidth(2);
    mark->setPen(pen);
    mark->append(from);
    mark->append(to);
    return mark;
}

QScatterSeries* Markers(const QString& name, QColor colour)
{
    auto* markers = new QScatterSeries;
    markers->setName(name);
    markers->setColor(colour);
    markers->setMarkerSize(9);
    return markers;
}

// Small enough that the window shrinks to a small screen's width; the
// scroll area gives each chart its room when the window is larger.
QChartView* MakeChartView(QWidget* parent)
{
    return quillon::MakeChartView(parent, 240, 180);
}

}  // namespace

AnalysisWindow::AnalysisWindow(Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop)
{
    setWindowTitle(kAnalysisWindowCaption);

    correction_ = new QCheckBox("Correct for Rs", this);
    correction_->setChecked(true);
    copy_ = new QPushButton("Copy", this);
    save_ = new QPushButton("Save report...", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(correction_);
    buttons->addStretch();
    buttons->addWidget(copy_);
    buttons->addWidget(save_);

    table_ = new QTableWidget(0, kTableColumns, this);
    table_->setHorizontalHeaderLabels({"Parameter", "Value", "Unit", "Note"});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    notes_ = new QLabel(this);
    notes_->setWordWrap(true);
    auto* tableColumn = new QVBoxLayout;
    tableColumn->addWidget(table_);
    tableColumn->addWidget(notes_);

    capacitanceChart_ = MakeChartView(this);
    lossChart_ = MakeChartView(this);
    profileChart_ = MakeChartView(this);
    auto* grid = new QGridLayout;
    grid->addLayout(tableColumn, 0, 0);
    grid->addWidget(capacitanceChart_, 0, 1);
    grid->addWidget(lossChart_, 1, 0);
    grid->addWidget(profileChart_, 1, 1);

    // The buttons stay in view; the table and the charts scroll where the
    // window is smaller than they would like.
    auto* content = new QWidget;
    content->setLayout(grid);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* runPage = new QWidget;
    auto* runLayout = new QVBoxLayout(runPage);
    runLayout->setContentsMargins(0, 0, 0, 0);
    runLayout->addLayout(buttons);
    runLayout->addWidget(scroll);
    frequencies_ = new FrequencyAnalysisView(desktop_);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(runPage, "Run");
    tabs_->addTab(frequencies_, "Frequencies");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    FitToScreen(*this, QSize(1180, 800));

    connect(correction_, &QCheckBox::toggled, this, [this] { Analyse(); });
    connect(copy_, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(
            QString::fromStdString(ParameterTableText(ParameterRows(extraction_, Correcting()))));
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        const std::string suggested =
            run_.started ? RunFileStem(*run_.started) + "-report" : std::string("report");
        AskAndSaveTextFile(desktop_, kReportFileFilter, suggested, "Save report", "report",
                           [this] { return ReportText(run_, extraction_, Correcting()); });
    });
    Analyse();
}

bool AnalysisWindow::Correcting() const
{
    return correction_->isChecked();
}

void AnalysisWindow::ShowRun(const RunForAnalysis& run)
{
    run_ = run;
    Analyse();
}

void AnalysisWindow::ShowFrequencyFamily(const FrequencyFamily& family)
{
    frequencies_->ShowFamily(family);
    tabs_->setCurrentWidget(frequencies_);
}

void AnalysisWindow::Analyse()
{
    extraction_ = ExtractParameters(InputOfRun(run_, Correcting()));
    ShowTable();
    DrawCapacitance();
    DrawLoss();
    DrawProfile();
}

void AnalysisWindow::ShowTable()
{
    const std::vector<ParameterRow> rows = ParameterRows(extraction_, Correcting());
    table_->setRowCount(static_cast<int>(rows.size()));
    const QColor inDoubt(170, 80, 0);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const ParameterRow& row = rows[static_cast<std::size_t>(r)];
        const std::string cells[kTableColumns] = {row.name, row.value, row.unit, row.note};
        for (int c = 0; c < kTableColumns; ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(cells[c]));
            item->setToolTip(QString::fromStdString(row.note));
            // A value in doubt must not look like the others.
            if (row.inDoubt) item->setForeground(inDoubt);
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
    std::string notes;
    for (const std::string& note : extraction_.notes) notes += (notes.empty() ? "" : "\n") + note;
    notes_->setText(QString::fromStdString(notes));
}

void AnalysisWindow::DrawCapacitance()
{
    QChart* chart = FreshChart(capacitanceChart_, "C-V");
    QList<QPointF> asMeasured;
    QList<QPointF> asCorrected;
    for (const CurvePoint& p : extraction_.curve) {
        asMeasured.append({p.bias, p.measuredCapacitance * kPicofaradsPerFarad});
        asCorrected.append({p.bias, p.capacitance * kPicofaradsPerFarad});
    }
    Span bias;
    Span capacitance;
    capacitance.Add(0);
    QLineSeries* measured = Line("measured", asMeasured, bias, capacitance);
    QLineSeries* corrected = Line("corrected for Rs", asCorrected, bias, capacitance);
    QValueAxis* x = LinearAxis("Bias [V]", bias);
    QValueAxis* y = LinearAxis("C [pF]", capacitance);
    PlaceAxes(chart, x, y);
    Attach(chart, measured, x, y);
    if (extraction_.curveCorrected) {
        // The measured curve broad and pale under the corrected one, so that
        // both show where they nearly coincide.
        measured->setPen(QPen(QColor(170, 170, 170), 4));
        corrected->setPen(QPen(QColor(0, 90, 200), 1.5));
        Attach(chart, corrected, x, y);
    } else {
        delete corrected;
    }

    if (extraction_.flatBandCapacitance.value) {
        auto* flatBand = Markers("Vfb", Qt::darkGreen);
        for (const Extracted* vfb : {&extraction_.flatBandUp, &extraction_.flatBandDown})
            if (vfb->value)
                flatBand->append(*vfb->value,
                                 *extraction_.flatBandCapacitance.value * kPicofaradsPerFarad);
        Attach(chart, flatBand, x, y);
    }
    if (const std::optional<double> vth = extraction_.threshold.value)
        Attach(chart, Mark("Vth", Qt::darkMagenta, {*vth, y->min()}, {*vth, y->max()}), x, y);
}

void AnalysisWindow::DrawLoss()
{
    QChart* chart = FreshChart(lossChart_, QString::fromUtf8("Gp/\u03c9 against bias"));
    QList<QPointF> points;
    auto* peak = Markers("conductance peak", Qt::red);
    for (const LossPoint& p : extraction_.loss) {
        points.append({p.bias, p.gpOverOmega * kPicofaradsPerFarad});
        if (extraction_.trapPeakBias.value && p.bias == *extraction_.trapPeakBias.value)
            peak->append(points.back());
    }
    Span bias;
    Span loss;
    loss.Add(0);
    QLineSeries* curve = Line(QString::fromUtf8("Gp/\u03c9 in depletion"), points, bias, loss);
    QValueAxis* x = LinearAxis("Bias [V]", bias);
    QValueAxis* y = LinearAxis(QString::fromUtf8("Gp/\u03c9 [pF]"), loss);
    PlaceAxes(chart, x, y);
    Attach(chart, curve, x, y);
    Attach(chart, peak, x, y);
}

void AnalysisWindow::DrawProfile()
{
    QChart* chart = FreshChart(profileChart_, "Doping profile");
    QList<QPointF> points;
    for (const ProfilePoint& p : extraction_.profile)
        points.append({p.depthNanometres, p.dopingPerCubicCm});
    Span depth;
    Span doping;
    QLineSeries* profile = Line("N(W)", points, depth, doping);
    profile->setPointsVisible(true);
    QValueAxis* x = LinearAxis("W [nm]", depth);
    QLogValueAxis* y = LogarithmicAxis(QString::fromUtf8("N [cm\u207b\u00b3]"), doping);
    PlaceAxes(chart, x, y);
    Attach(chart, profile, x, y);
    if (const std::optional<double> mean = extraction_.meanProfileDoping.value)
        Attach(chart, Mark("mean", Qt::darkGray, {x->min(), *mean}, {x->max(), *mean}), x, y);
}

AnalysisWindowKeeper::~AnalysisWindowKeeper()
{
    delete window_;
}

void AnalysisWindowKeeper::RunEnded(const SweepData& sweep, const MeasurementSettings& settings,
                                    const std::tm& started,
                                    const std::optional<CorrectionState>& correction)
{
    RunForAnalysis run = CaptureRun(sweep, settings, started);
    run.correction = correction;
    Follow(std::move(run));
}

void AnalysisWindowKeeper::Follow(RunForAnalysis run)
{
    run_ = std::move(run);
    if (AnalysisWindow* open = Window()) open->ShowRun(run_);
}

void AnalysisWindowKeeper::Show()
{
    if (!window_) window_ = new AnalysisWindow(desktop_);
    if (!window_->isVisible()) window_->ShowRun(run_);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AnalysisWindowKeeper::ShowFrequencyFamily(FrequencyFamily family)
{
    Show();
    window_->ShowFrequencyFamily(family);
}

AnalysisWindow* AnalysisWindowKeeper::Window() const
{
    if (window_ && window_->isVisible()) return window_;
    return nullptr;
}

}  // namespace quillon
