// The "Frequencies" part of the Analysis window: one device measured at
// several frequencies. The C-V and G-V families with a legend, Gp/w against
// frequency at biases in depletion with the peaks marked, Dit and the trap
// time constant against bias and Dit against the energy in the gap, the
// accumulation capacitance against frequency with its dispersion, and the
// per-bias values in a table ("n/a" with the reason as the cell's tool tip).
// "Copy" puts the table on the clipboard as TAB text, "Save report..."
// writes the report and "Save picture..." the six charts as a PNG picture,
// each through the desktop's save dialog.
#pragma once

#include <QImage>
#include <QWidget>

#include "analysis/frequency_family.h"
#include "analysis/multi_frequency_analysis.h"
#include "platform/desktop.h"

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quillon {

class FrequencyAnalysisView final : public QWidget {
    Q_OBJECT

public:
    explicit FrequencyAnalysisView(Desktop& desktop, QWidget* parent = nullptr);

    void ShowFamily(const FrequencyFamily& family);
    const MultiFrequencyAnalysis& Shown() const { return analysis_; }

    QTableWidget* Table() const { return table_; }
    QLabel* Summary() const { return summary_; }
    QChartView* CapacitanceFamilyChart() const { return capacitanceFamily_; }
    QChartView* ConductanceFamilyChart() const { return conductanceFamily_; }
    QChartView* LossChart() const { return loss_; }
    QChartView* TrapChart() const { return traps_; }
    QChartView* EnergyChart() const { return energy_; }
    QChartView* AccumulationChart() const { return accumulation_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* SavePictureButton() const { return savePicture_; }

    // The charts as shown, at kPictureScale times the screen's resolution;
    // null while they have no size.
    QImage Picture() const;

    // At most this many biases get their Gp/w curve drawn, spread evenly
    // over those with a peak.
    static constexpr int kMostLossCurves = 8;

private:
    void ShowTable();
    void DrawFamilies();
    void DrawLoss();
    void DrawTraps();
    void DrawAccumulation();

    Desktop& desktop_;
    FrequencyFamily family_;
    MultiFrequencyAnalysis analysis_;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QChartView* capacitanceFamily_ = nullptr;
    QChartView* conductanceFamily_ = nullptr;
    QChartView* loss_ = nullptr;
    QChartView* traps_ = nullptr;
    QChartView* energy_ = nullptr;
    QChartView* accumulation_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* savePicture_ = nullptr;
    QWidget* charts_ = nullptr;
};

}  // namespace quillon
