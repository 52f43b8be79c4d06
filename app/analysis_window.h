// The Analysis window: the parameters extracted from the last run in a
// table, the C-V curve (measured and corrected for the series resistance,
// with the flat-band and threshold voltages marked), Gp/w against bias with
// the conductance peak marked, and the doping profile; "Copy" puts the
// table on the clipboard as TAB-separated text, "Save report..." writes the
// report to a file. Its "Frequencies" tab analyses one device measured at
// several frequencies (frequency_analysis_view.h).
#pragma once

#include <QPointer>
#include <QWidget>

#include "analysis/analysis_report.h"
#include "analysis/frequency_family.h"
#include "analysis/parameter_extraction.h"
#include "platform/desktop.h"

class QChartView;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace quillon {

class FrequencyAnalysisView;

inline constexpr const char* kAnalysisWindowCaption = "Analysis";

class AnalysisWindow final : public QWidget {
    Q_OBJECT

public:
    explicit AnalysisWindow(Desktop& desktop, QWidget* parent = nullptr);

    // Analyses the run and shows what it gives.
    void ShowRun(const RunForAnalysis& run);
    const Extraction& Shown() const { return extraction_; }
    // Analyses the family on the "Frequencies" tab and turns to it.
    void ShowFrequencyFamily(const FrequencyFamily& family);

    QTabWidget* Tabs() const { return tabs_; }
    FrequencyAnalysisView* FrequencyView() const { return frequencies_; }

    QCheckBox* CorrectionBox() const { return correction_; }
    QTableWidget* Table() const { return table_; }
    QLabel* Notes() const { return notes_; }
    QChartView* CapacitanceChart() const { return capacitanceChart_; }
    QChartView* LossChart() const { return lossChart_; }
    QChartView* ProfileChart() const { return profileChart_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* SaveButton() const { return save_; }

private:
    void Analyse();
    void ShowTable();
    void DrawCapacitance();
    void DrawLoss();
    void DrawProfile();
    bool Correcting() const;

    Desktop& desktop_;
    RunForAnalysis run_;
    Extraction extraction_;
    QCheckBox* correction_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* notes_ = nullptr;
    QChartView* capacitanceChart_ = nullptr;
    QChartView* lossChart_ = nullptr;
    QChartView* profileChart_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    FrequencyAnalysisView* frequencies_ = nullptr;
};

// The Analysis window of the main window: made when first asked for, at
// most one, kept showing the last run that ended.
class AnalysisWindowKeeper {
public:
    explicit AnalysisWindowKeeper(Desktop& desktop) : desktop_(desktop) {}
    ~AnalysisWindowKeeper();
    AnalysisWindowKeeper(const AnalysisWindowKeeper&) = delete;
    AnalysisWindowKeeper& operator=(const AnalysisWindowKeeper&) = delete;

    // The end of a run whose summary was made: an open window shows it.
    void RunEnded(const SweepData& sweep, const MeasurementSettings& settings,
                  const std::tm& started,
                  const std::optional<CorrectionState>& correction = std::nullopt);
    // A run read back from a file: an open window shows it.
    void Follow(RunForAnalysis run);
    // Opens the window on the last run, or raises the open one.
    void Show();
    // Opens or raises the window on its "Frequencies" tab, showing the family.
    void ShowFrequencyFamily(FrequencyFamily family);
    // The window while it is open.
    AnalysisWindow* Window() const;

private:
    Desktop& desktop_;
    RunForAnalysis run_;
    QPointer<AnalysisWindow> window_;
};

}  // namespace quillon
