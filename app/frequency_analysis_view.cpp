#include "app/frequency_analysis_view.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QtMath>
#include <cmath>
#include <optional>
#include <string_view>

#include "analysis/analysis_report.h"
#include "analysis/cv_analysis.h"
#include "analysis/result_table.h"
#include "app/fresh_chart.h"
#include "app/picture_export.h"
#include "app/picture_file.h"

namespace quillon {

namespace {

constexpr double kPicofaradsPerFarad = 1e12;
constexpr double kMicrosiemensPerSiemens = 1e6;
constexpr int kTableColumns = 7;
constexpr const char* kPngFileFilter = "PNG picture (*.png)|*.png";

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// Small enough for two side by side on a laptop, large enough that the
// axes keep their labels; the tab scrolls.
QChartView* MakeChartView(QWidget* parent)
{
    return quillon::MakeChartView(parent, 440, 320);
}

QValueAxis* LinearAxis(const QString& title)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat("%g");
    return axis;
}

QLogValueAxis* LogarithmicAxis(const QString& title, const char* format)
{
    auto* axis = new QLogValueAxis;
    axis->setTitleText(title);
    axis->setBase(10);
    axis->setLabelFormat(format);
    return axis;
}

// The range of the points on a linear axis, with a little room; on a
// logarithmic one whole decades around them.
void FitLinear(QValueAxis* axis, double low, double high)
{
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    if (high == low) high = low + 1;
    axis->setRange(low, high);
    axis->applyNiceNumbers();
}

void FitLogarithmic(QLogValueAxis* axis, double low, double high)
{
    if (!(low > 0 && low <= high)) {
        low = 1;
        high = 10;
    }
    axis->setRange(std::pow(10, std::floor(std::log10(low))),
                   std::pow(10, std::ceil(std::log10(high) + 1e-9)));
}

QTableWidgetItem* Cell(const Extracted& value, double scale, const char* format)
{
    if (!value.value) {
        auto* item = new QTableWidgetItem(kNotAvailable);
        item->setToolTip(Text(value.reason));
        return item;
    }
    auto* item = new QTableWidgetItem(QString::asprintf(format, *value.value * scale));
    if (!value.doubt.empty()) item->setToolTip(Text(value.doubt));
    return item;
}

}  // namespace

FrequencyAnalysisView::FrequencyAnalysisView(Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop)
{
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    copy_ = new QPushButton("Copy", this);
    save_ = new QPushButton("Save report...", this);
    savePicture_ = new QPushButton("Save picture...", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(copy_);
    buttons->addWidget(save_);
    buttons->addWidget(savePicture_);

    table_ = new QTableWidget(0, kTableColumns, this);
    table_->setHorizontalHeaderLabels(
        {"V [V]", "f peak [Hz]", QString::fromUtf8("(Gp/\u03c9)max [pF]"),
         QString::fromUtf8("Dit [cm\u207b\u00b2 eV\u207b\u00b9]"), QString::fromUtf8("\u03c4 [s]"),
         QString::fromUtf8("\u03c8s [V]"), "E - Ei [eV]"});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);

    capacitanceFamily_ = MakeChartView(this);
    conductanceFamily_ = MakeChartView(this);
    loss_ = MakeChartView(this);
    traps_ = MakeChartView(this);
    energy_ = MakeChartView(this);
    accumulation_ = MakeChartView(this);
    charts_ = new QWidget;
    auto* grid = new QGridLayout(charts_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(capacitanceFamily_, 0, 0);
    grid->addWidget(conductanceFamily_, 0, 1);
    grid->addWidget(loss_, 1, 0);
    grid->addWidget(traps_, 1, 1);
    grid->addWidget(energy_, 2, 0);
    grid->addWidget(accumulation_, 2, 1);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(charts_);
    column->addWidget(table_);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(scroll);

    connect(copy_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(Text(TrapTableText(analysis_))); });
    connect(save_, &QPushButton::clicked, this, [this] {
        const std::string suggested =
            (family_.sample.empty() ? std::string("frequencies") : family_.sample) + "-report";
        AskAndSaveTextFile(desktop_, kReportFileFilter, suggested, "Save report", "report",
                           [this] { return MultiFrequencyReportText(family_, analysis_); });
    });
    connect(savePicture_, &QPushButton::clicked, this, [this] {
        const std::string stem =
            family_.sample.empty() ? std::string("frequencies") : family_.sample;
        const SaveChoice choice = desktop_.AskSaveFile(kPngFileFilter, stem + "-charts");
        if (choice.path.empty()) return;
        const std::optional<std::string> fileName =
            ConfirmedFileName(desktop_, choice.path, ".png", "Save picture");
        if (!fileName) return;
        if (const std::optional<std::string> failure =
                SavePictureBytes(*fileName, PngBytes(Picture())))
            desktop_.ShowMessage(*failure);
    });
    ShowFamily({});
}

QImage FrequencyAnalysisView::Picture() const
{
    const QSize size = charts_->size();
    if (size.isEmpty()) return QImage();
    const qreal ratio = kPictureScale * devicePixelRatioF();
    QImage image(qCeil(size.width() * ratio), qCeil(size.height() * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    charts_->render(&image);
    return image;
}

void FrequencyAnalysisView::ShowFamily(const FrequencyFamily& family)
{
    family_ = family;
    analysis_ = AnalyseFrequencyFamily(family_);
    QString summary = Text(family_.sample.empty() ? "" : family_.sample + ": ");
    summary += QString::number(analysis_.curves.size()) + " frequencies";
    if (!family_.source.empty()) summary += Text(" from " + family_.source);
    for (const std::string& note : analysis_.notes) summary += "\n" + Text(note);
    summary_->setText(summary);
    ShowTable();
    DrawFamilies();
    DrawLoss();
    DrawTraps();
    DrawAccumulation();
}

void FrequencyAnalysisView::ShowTable()
{
    table_->setRowCount(static_cast<int>(analysis_.biases.size()));
    int row = 0;
    for (const BiasTraps& b : analysis_.biases) {
        table_->setItem(row, 0, new QTableWidgetItem(QString::asprintf("%.3f", b.biasVolts)));
        table_->setItem(row, 1, Cell(b.peakFrequency, 1, "%.4g"));
        table_->setItem(row, 2, Cell(b.peakGpOverOmega, kPicofaradsPerFarad, "%.4g"));
        table_->setItem(row, 3, Cell(b.trapDensity, 1, "%.3e"));
        table_->setItem(row, 4, Cell(b.timeConstant, 1, "%.3e"));
        table_->setItem(row, 5, Cell(b.surfacePotential, 1, "%.3f"));
        table_->setItem(row, 6, Cell(b.energyAboveMidgap, 1, "%.3f"));
        ++row;
    }
    table_->resizeColumnsToContents();
}

void FrequencyAnalysisView::DrawFamilies()
{
    QChart* capacitance = FreshChart(capacitanceFamily_, "C-V at each frequency");
    QChart* conductance = FreshChart(conductanceFamily_, "G-V at each frequency");
    QValueAxis* cx = LinearAxis("Bias [V]");
    QValueAxis* cy = LinearAxis("C [pF]");
    QValueAxis* gx = LinearAxis("Bias [V]");
    QValueAxis* gy = LinearAxis(QString::fromUtf8("G [\u00b5S]"));
    capacitance->addAxis(cx, Qt::AlignBottom);
    capacitance->addAxis(cy, Qt::AlignLeft);
    conductance->addAxis(gx, Qt::AlignBottom);
    conductance->addAxis(gy, Qt::AlignLeft);
    Span bias, c, g;
    c.Add(0);
    for (const FamilyCurve& curve : analysis_.curves) {
        auto* cLine = new QLineSeries;
        auto* gLine = new QLineSeries;
        cLine->setName(Text(curve.label));
        gLine->setName(Text(curve.label));
        for (const FamilyCurvePoint& p : curve.points) {
            cLine->append(p.biasVolts, p.capacitanceFarads * kPicofaradsPerFarad);
            gLine->append(p.biasVolts, p.conductanceSiemens * kMicrosiemensPerSiemens);
            bias.Add(p.biasVolts);
            c.Add(p.capacitanceFarads * kPicofaradsPerFarad);
            g.Add(p.conductanceSiemens * kMicrosiemensPerSiemens);
        }
        Attach(capacitance, cLine, cx, cy);
        Attach(conductance, gLine, gx, gy);
    }
    FitLinear(cx, bias.low, bias.high);
    FitLinear(gx, bias.low, bias.high);
    FitLinear(cy, c.low, c.high);
    FitLinear(gy, std::min(g.low, 0.0), g.high);
}

void FrequencyAnalysisView::DrawLoss()
{
    QChart* chart = FreshChart(loss_, QString::fromUtf8("Gp/\u03c9 against frequency"));
    QLogValueAxis* x = LogarithmicAxis("f [Hz]", "%.0e");
    QValueAxis* y = LinearAxis(QString::fromUtf8("Gp/\u03c9 [pF]"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    std::vector<const BiasTraps*> peaked;
    for (const BiasTraps& b : analysis_.biases)
        if (b.peakFrequency.value) peaked.push_back(&b);
    const std::size_t step = peaked.size() > kMostLossCurves
                                 ? (peaked.size() + kMostLossCurves - 1) / kMostLossCurves
                                 : 1;
    Span f, loss;
    loss.Add(0);
    auto* peaks = new QScatterSeries;
    peaks->setName("peak");
    peaks->setColor(Qt::red);
    peaks->setMarkerSize(9);
    for (std::size_t i = 0; i < peaked.size(); i += step) {
        const BiasTraps& b = *peaked[i];
        auto* line = new QLineSeries;
        line->setName(QString::asprintf("%.3g V", b.biasVolts));
        for (const LossSpectrumPoint& p : b.spectrum) {
            line->append(p.frequencyHertz, p.gpOverOmegaFarads * kPicofaradsPerFarad);
            f.Add(p.frequencyHertz);
            loss.Add(p.gpOverOmegaFarads * kPicofaradsPerFarad);
        }
        peaks->append(*b.peakFrequency.value, *b.peakGpOverOmega.value * kPicofaradsPerFarad);
        Attach(chart, line, x, y);
    }
    Attach(chart, peaks, x, y);
    FitLogarithmic(x, f.low, f.high);
    FitLinear(y, loss.low, loss.high);
}

void FrequencyAnalysisView::DrawTraps()
{
    QChart* chart = FreshChart(traps_, QString::fromUtf8("Dit and \u03c4 against bias"));
    QValueAxis* x = LinearAxis("Bias [V]");
    QLogValueAxis* density =
        LogarithmicAxis(QString::fromUtf8("Dit [cm\u207b\u00b2 eV\u207b\u00b9]"), "%.0e");
    QLogValueAxis* time = LogarithmicAxis(QString::fromUtf8("\u03c4 [s]"), "%.0e");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(density, Qt::AlignLeft);
    chart->addAxis(time, Qt::AlignRight);
    QChart* byEnergy = FreshChart(energy_, "Dit against the energy in the gap");
    QValueAxis* ex = LinearAxis("E - Ei [eV]");
    QLogValueAxis* ey =
        LogarithmicAxis(QString::fromUtf8("Dit [cm\u207b\u00b2 eV\u207b\u00b9]"), "%.0e");
    byEnergy->addAxis(ex, Qt::AlignBottom);
    byEnergy->addAxis(ey, Qt::AlignLeft);

    auto* dit = new QLineSeries;
    dit->setName("Dit");
    dit->setPointsVisible(true);
    auto* tau = new QLineSeries;
    tau->setName(QString::fromUtf8("\u03c4"));
    tau->setPointsVisible(true);
    auto* ditByEnergy = new QLineSeries;
    ditByEnergy->setName("Dit");
    ditByEnergy->setPointsVisible(true);
    Span bias, d, t, e, de;
    for (const BiasTraps& b : analysis_.biases) {
        if (b.trapDensity.value && *b.trapDensity.value > 0) {
            dit->append(b.biasVolts, *b.trapDensity.value);
            bias.Add(b.biasVolts);
            d.Add(*b.trapDensity.value);
            if (b.energyAboveMidgap.value) {
                ditByEnergy->append(*b.energyAboveMidgap.value, *b.trapDensity.value);
                e.Add(*b.energyAboveMidgap.value);
                de.Add(*b.trapDensity.value);
            }
        }
        if (b.timeConstant.value && *b.timeConstant.value > 0) {
            tau->append(b.biasVolts, *b.timeConstant.value);
            bias.Add(b.biasVolts);
            t.Add(*b.timeConstant.value);
        }
    }
    Attach(chart, dit, x, density);
    Attach(chart, tau, x, time);
    Attach(byEnergy, ditByEnergy, ex, ey);
    FitLinear(x, bias.low, bias.high);
    FitLogarithmic(density, d.low, d.high);
    FitLogarithmic(time, t.low, t.high);
    FitLinear(ex, e.low, e.high);
    FitLogarithmic(ey, de.low, de.high);
}

void FrequencyAnalysisView::DrawAccumulation()
{
    QString title = "Cacc against frequency";
    if (analysis_.dispersion.value)
        title += QString::asprintf(": %.3f %% per decade", *analysis_.dispersion.value);
    QChart* chart = FreshChart(accumulation_, title);
    QLogValueAxis* x = LogarithmicAxis("f [Hz]", "%.0e");
    QValueAxis* y = LinearAxis("Cacc [pF]");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto* line = new QLineSeries;
    line->setName(QString::asprintf("at %.3g V", analysis_.accumulationBiasVolts));
    line->setPointsVisible(true);
    Span f, c;
    for (const AccumulationPoint& p : analysis_.accumulation) {
        line->append(p.frequencyHertz, p.capacitanceFarads * kPicofaradsPerFarad);
        f.Add(p.frequencyHertz);
        c.Add(p.capacitanceFarads * kPicofaradsPerFarad);
    }
    Attach(chart, line, x, y);
    FitLogarithmic(x, f.low, f.high);
    // A dispersion-free dielectric gets an axis of a few per cent, not one
    // that blows its last digit up into a fall.
    const double middle = 0.5 * (c.low + c.high);
    FitLinear(y, std::min(c.low, 0.98 * middle), std::max(c.high, 1.02 * middle));
}

}  // namespace quillon
