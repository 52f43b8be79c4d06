// The program's main window: the run parameters, the run's buttons and live
// values, the two graphs and the text results. It holds the run parameters
// in its input controls and reads them through MeasurementSettings.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "analysis/csv_data_file.h"
#include "analysis/cv_analysis.h"
#include "analysis/graph_axes.h"
#include "analysis/run_graph_history.h"
#include "app/analysis_window.h"
#include "app/correction_window.h"
#include "app/runs_window.h"
#include "measure/frequency_sweep_run.h"
#include "measure/measurement_run.h"
#include "platform/environment.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillon {

class Form1;
class FrequenciesWindow;
class GpibDriver;
class Test;
class PictureBox;
class TabControl;

inline constexpr const char* kMainWindowCaption = "Agilent 4284A controller C-V & G-V measurement ";
// "Save Data" before any run has read a point.
inline constexpr const char* kNothingToSaveMessage =
    "No point has been measured yet: there is nothing to save.";

// The caption, marked when the bus measures nothing real.
std::string MainWindowCaption(const GpibDriver* bus);

// Tabs of the two tab controls.
enum ParameterTab : int { kPage1Tab = 0, kPage2Tab = 1, kInfoTab = 2 };
enum ResultTab : int { kCvTab = 0, kGvTab = 1, kTextTab = 2 };

inline constexpr int kLabel2Count = 10;
inline constexpr int kOption2Count = 3;
inline constexpr int kLabel4Count = 4;
inline constexpr int kText3Count = 4;

// The window's controls by name and index. The window's widgets own them.
struct FormLCRControls {
    TabControl* SSTab1 = nullptr;
    TabControl* SSTab2 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command7 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command4 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label1 = nullptr;

    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    QPlainTextEdit* RichTextBox1 = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* Command6 = nullptr;

    std::array<QLineEdit*, kTextFieldCount> Text1{};
    std::array<QLabel*, kLabel2Count> Label2{};
    std::array<QCheckBox*, kCheckFieldCount> Check1{};
    std::array<QRadioButton*, kOption2Count> Option2{};
    std::array<QLabel*, kLabel4Count> Label4{};
    std::array<QLineEdit*, kText3Count> Text3{};
};

class FormLCR final : public QWidget, public MeasurementSettings, public RunWindow {
    Q_OBJECT

public:
    // Loads the settings file of the program's folder into the inputs, as
    // the window does whenever it is created.
    explicit FormLCR(const Environment& environment, QWidget* parent = nullptr);
    ~FormLCR() override;

    const FormLCRControls& Controls() const { return ui_; }

    // The run parameters, read from the controls at the moment of the call.
    std::string Text1(int index) const override;
    int Check1(int index) const override;
    std::optional<int> SelectedOption2() const override;

    // Fills the inputs from the settings file (the first start's sweep where
    // there is no file yet) and empties the text results and the graph
    // read-outs; graphs and run data are left alone.
    void LoadSettings();
    // Stores the inputs in the settings file.
    void SaveSettings();

    // Running: START hidden, which uncovers the STATUS frame, and loading,
    // saving, the calculator and "Save Data" disabled. Idle: the reverse.
    void SetRunning(bool running) override;
    bool Running() const { return running_; }

    // Raised by "STOP! (Esc)", polled by a run once a point.
    bool StopRequested() const override { return stopRequested_; }
    void ClearStopRequest() override { stopRequested_ = false; }

    // The run's view of the window.
    const MeasurementSettings& Settings() const override { return *this; }
    void SetProgressValue(int percent) override;
    void SetProgressCaption(const std::string& caption) override;
    // Inside the progress bar, beside no other text; cleared when a run
    // starts and when it ends.
    void SetTimeLeft(const std::string& text) override;
    void SetStatusCaptions(const std::array<std::string, kStatusCaptionCount>& captions) override;
    void YieldOnce() override;

    // The last run's points, and when it started and ended.
    const SweepData& Sweep() const { return sweep_; }
    const RunTimes& LastRunTimes() const { return runTimes_; }
    // What the last summary computed.
    const AnalysisResults& Analysis() const { return analysis_; }
    // When and how the last run that read a point was measured, for
    // its CSV data file; no value before the first.
    const std::optional<CsvRunContext>& LastRunContext() const { return lastRun_; }

    // How the program reaches the bus, for the CSV data files: "simulated",
    // a driver library's path, a Prologix adapter.
    void SetBusDescription(std::string description) { busDescription_ = std::move(description); }

    // The right-click menu of graph kCvTab or kGvTab: "Copy picture" and
    // "Save picture..." (disabled until a run has drawn the graphs) and
    // "Show earlier runs".
    void FillGraphMenu(QMenu& menu, ResultTab graph);
    void CopyPicture(ResultTab graph);
    void SavePicture(ResultTab graph);
    // The frame of the graph's picture: its axes and the legend of what it
    // shows, earlier runs included while they are shown.
    GraphFrame PictureFrame(ResultTab graph) const;
    // Draws the graphs again with or without the earlier runs' curves and
    // keeps the choice in the settings file.
    void SetShowEarlierRuns(bool show);
    bool ShowingEarlierRuns() const { return showEarlierRuns_; }

    // The calculator window while it is open.
    Form1* Calculator() const;
    // The instrument query window while it is loaded.
    Test* QueryWindow() const;
    // The Analysis window while it is open.
    AnalysisWindow* AnalysisWindowIfOpen() const { return analysisWindow_.Window(); }
    // "Analysis...", "Runs..." and "Frequencies...", which open those
    // windows, at the end of a menu.
    void AddAnalysisAction(QMenu& menu);
    // The Runs window while it is open.
    RunsWindow* RunsWindowIfOpen() const { return runsWindow_.Window(); }
    void ShowRunsWindow() { runsWindow_.Show(); }
    // The Frequencies window: opened, or raised when open; and while open.
    void ShowFrequenciesWindow();
    FrequenciesWindow* FrequenciesWindowIfOpen() const;
    // Runs at several frequencies, or a C-f measurement, as one device in
    // the Analysis window's "Frequencies" tab; runs that cannot be used are
    // named in a message.
    void AnalyseFrequencies(const std::vector<StoredRun>& runs);
    void AnalyseFrequencies(FrequencyFamily family)
    {
        analysisWindow_.ShowFrequencyFamily(std::move(family));
    }
    // A run read back from a file, shown as if it had just been measured:
    // graphs, table, INFO and the Analysis window; the caption names the
    // file until START. Refused while a run is in progress.
    void ShowStoredRun(const StoredRun& run);
    // The file the window shows, as the caption names it; empty while it
    // shows what it measured.
    const std::string& ShownFile() const { return shownFile_; }
    // "Correction...": the Correction window, refused during a run.
    void ShowCorrectionWindow() { correctionWindow_.Show(); }
    CorrectionWindow* CorrectionWindowIfOpen() const { return correctionWindow_.Window(); }
    // Moves the probes of a simulated bench at the Correction window's prompts.
    void SetProbeMover(ProbeMover mover);

    // START: one whole run; returns when the window is idle again.
    void Command1_Click();

    // The main window's sweep once at each frequency, one after the other,
    // each a START of its own (log record, kept file, summary), the typed
    // frequency put back at the end. `betweenSweeps` is asked after each
    // completed sweep whether to go on; the list also ends with a sweep that
    // does not complete (STOP, a time-out). Refused while a run is on.
    struct FrequencyListOutcome {
        std::vector<StoredRun> runs;  // the sweeps that read a point, as kept
        RunEnding lastEnding = RunEnding::Refused;
    };
    FrequencyListOutcome RunFrequencyList(const std::vector<int32_t>& frequenciesHertz,
                                          const std::function<bool()>& betweenSweeps);
    // A C-f measurement with the main window's set-up, kept in the
    // frequency sweeps folder; `path` is empty when it was not written.
    struct FrequencySweepOutcome {
        FrequencySweepResult result;
        CsvRunContext context;
        std::string path;
    };
    FrequencySweepOutcome MeasureFrequencySweep(const FrequencySweepPlan& plan);
    // Called at each pass of the event loop during a run; none by default.
    void SetYieldObserver(std::function<void()> observer) { yieldObserver_ = std::move(observer); }
    // The run in progress: its frequency as typed and the points it read.
    int RunPointsRead() const { return sweep_.RunPointsRead.value_or(0); }
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // "Check": loading the query window runs the query; once loaded it is
    // only shown.
    void Command5_Click();
    // The pointer over a graph: its coordinates in the read-out boxes.
    void Picture1_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, float x, float y);
    void Picture2_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, float x, float y);
    // Clears both pictures and draws the graphs into them.
    void ShowGraphs(const Graphs& graphs);
    // Calls `use` with the graphs as the pictures show them: the run's own,
    // or with the earlier runs' curves beneath; not before the first run.
    void WithShownGraphs(const std::function<void(const Graphs&)>& use) const;
    // The name the save dialogs offer: the last run's start, as the
    // automatic files are named.
    std::string SuggestedFileName() const;
    // The end-of-run pass of a run that returned the meter to idle: the run
    // list, the summary, the finish text and the graphs.
    // `correction`: the meter's as last read back before the run.
    void SummarizeRun(SweepData& sweep, const RunTimes& times, const std::tm& started,
                      const std::optional<CorrectionState>& correction);

    // "Show Result": the table of the last run in the text box.
    void Command6_Click();
    // "Save Data": the table of the last run, or its CSV data file, into a
    // file chosen in a dialog.
    void Command7_Click();
    void Command9_Click();

protected:
    // Closing during a run stops it; the window closes once the meter is
    // back to idle and the log is closed.
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void BuildBottomRow();
    void BuildPage1(QWidget* page);
    void BuildPage2(QWidget* page);
    void BuildInfoPage(QWidget* page);
    void BuildGraphPage(QWidget* page, PictureBox*& picture, int firstReadout);
    void BuildTextPage(QWidget* page);
    // A caption of Label2 and its box of Text1, which shows its design text.
    void AddParameter(QWidget* page, int label, int text, int labelLeft, int textLeft, int top,
                      int labelWidth, int textWidth, const char* caption);
    PictureBox* Graph(ResultTab graph) const;
    // The graph history on the pictures, with the earlier runs if chosen.
    void RedrawGraphs();
    // The run's graphs drawn as the newest of the history (DrawGraphs settles
    // its Cmax and Gmax), then shown.
    void AddToGraphs(SweepData& sweep);
    CorrectionHooks MakeCorrectionHooks(ProbeMover mover);
    // The run's context as far as START knows it.
    CsvRunContext RunContextAtStart() const;
    // Into the folder the settings file names, if any.
    void SaveRunAutomatically();
    // The right-click menu of the graphs and the summary.
    void ShowContextMenu(QWidget* widget, const QPoint& position);

    // The pointer's coordinates in the read-outs `first` and `first` + 1.
    void ShowReadouts(int first, const std::string& bias, const std::string& value);

    // A Text1 value as the settings file held it, and as it was shown.
    struct LoadedText {
        std::string bytes;
        QString shown;
    };

    Environment environment_;
    FormLCRControls ui_;
    std::array<LoadedText, kTextFieldCount> loadedText_;
    bool running_ = false;
    bool stopRequested_ = false;
    bool closeAfterRun_ = false;
    SweepData sweep_;
    RunTimes runTimes_;
    AnalysisResults analysis_;
    std::optional<SummaryFigures> runFigures_;
    std::optional<CsvRunContext> lastRun_;
    std::string busDescription_;
    // The 4284A "Check" last found on board 0: its address and *IDN? reply.
    std::optional<std::pair<int, std::string>> checkedMeter_;
    RunGraphHistory graphHistory_;
    RunResult lastResult_;
    // The runs folder's copy of the last run; empty when none was written.
    std::string lastKeptFile_;
    std::function<void()> yieldObserver_;
    bool showEarlierRuns_ = false;
    QPointer<Form1> calculator_;
    QPointer<Test> queryWindow_;
    AnalysisWindowKeeper analysisWindow_;
    CorrectionWindowKeeper correctionWindow_;
    // The meter's correction as the Correction window last read it, and
    // where; the runs at that place record it. The run in progress's copy.
    std::optional<std::pair<MeterLocation, CorrectionState>> correctionRead_;
    RunsWindowKeeper runsWindow_;
    QPointer<FrequenciesWindow> frequenciesWindow_;
    // The run in progress as the Runs window draws it, and its planned legs.
    std::optional<StoredRun> liveRun_;
    std::vector<SweepLeg> liveLegs_;
    // The caption before a file was shown, and that file.
    QString measuringCaption_;
    std::string shownFile_;
};

}  // namespace quillon
