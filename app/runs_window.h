// The Runs window: the sample and note of the next run, every kept run and
// every file opened in one list (sortable, filtered by sample and note),
// the ticked runs compared in two charts beside the run in progress, and
// their extracted values as one table. A run chosen in the list is shown by
// the main window as if just measured.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "analysis/run_catalogue.h"
#include "platform/desktop.h"
#include "platform/program_folder.h"

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quillon {

class RunComparisonCharts;

inline constexpr const char* kRunsWindowCaption = "Runs";
inline constexpr const char* kRunFileFilter =
    "Runs (*.csv *.txt *.log *.dat *.tsv)|*.csv *.txt *.log *.dat *.tsv|All files (*)|*";
inline constexpr const char* kRunTableFilter = "CSV (*.csv)|*.csv";

// What the Runs window hands to the main window: a run chosen to be shown,
// the Frequencies window asked for, the ticked runs to be analysed as one
// device at several frequencies, and the Correction window asked for.
struct RunsWindowActions {
    std::function<void(const StoredRun&)> showRun;
    std::function<void()> showFrequencies;
    std::function<void(const std::vector<StoredRun>&)> analyseFrequencies;
    std::function<void()> showCorrection;
};

class RunsWindow final : public QWidget {
    Q_OBJECT

public:
    RunsWindow(const ProgramFolder& folder, Desktop& desktop, RunCatalogue& catalogue,
               RunsWindowActions actions, QWidget* parent = nullptr);

    // Reads the runs folder again and lists what the catalogue holds.
    void ReadRunsFolder();
    // Reads each file into the list; one that cannot be read gets a
    // message naming it, the line and the reason, and changes nothing.
    void OpenFiles(const std::vector<std::string>& paths);
    // A run just kept in the runs folder joins the list.
    void RunKept(const std::string& path);
    // The run in progress, drawn beside the ticked runs.
    void ShowLiveRun(const StoredRun& run);
    void EndLiveRun();

    // Ticks or unticks the run of that key (RunKey).
    void SetTicked(const std::string& key, bool ticked);
    // The keys of the listed rows, top to bottom.
    const std::vector<std::string>& ListedKeys() const { return listedKeys_; }
    // Shows the run of that row in the main window.
    void ShowListedRun(int row);
    // The extracted values of the ticked runs in the list's order.
    std::string TableText(char separator) const;
    // The ticked runs, in the catalogue's order.
    std::vector<StoredRun> TickedRuns() const;

    QLineEdit* SampleBox() const { return sample_; }
    QLineEdit* NoteBox() const { return note_; }
    QLineEdit* FilterBox() const { return filter_; }
    QTableWidget* List() const { return list_; }
    QLabel* Problems() const { return problems_; }
    QCheckBox* NormaliseBox() const { return normalise_; }
    QCheckBox* LogConductanceBox() const { return logConductance_; }
    RunComparisonCharts* Charts() const { return charts_; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* CopyTableButton() const { return copyTable_; }
    QPushButton* SaveTableButton() const { return saveTable_; }
    QPushButton* FrequenciesButton() const { return frequencies_; }
    QPushButton* AcrossFrequenciesButton() const { return acrossFrequencies_; }
    QPushButton* CorrectionButton() const { return correction_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FillList();
    void ShowTicked();
    void SortBy(int column);
    // What a file other than a CSV data file does not say, asked once for
    // all of its runs; a cancelled or empty answer leaves it unknown.
    void AskWhatTheFileDoesNotSay(const std::string& path, std::vector<StoredRun>& runs);

    const ProgramFolder& folder_;
    Desktop& desktop_;
    RunCatalogue& catalogue_;
    RunsWindowActions actions_;
    QLineEdit* sample_ = nullptr;
    QLineEdit* note_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* show_ = nullptr;
    QPushButton* correction_ = nullptr;
    QTableWidget* list_ = nullptr;
    QLabel* problems_ = nullptr;
    QCheckBox* normalise_ = nullptr;
    QCheckBox* logConductance_ = nullptr;
    QPushButton* copyPicture_ = nullptr;
    QPushButton* savePicture_ = nullptr;
    QPushButton* copyTable_ = nullptr;
    QPushButton* saveTable_ = nullptr;
    QPushButton* frequencies_ = nullptr;
    QPushButton* acrossFrequencies_ = nullptr;
    RunComparisonCharts* charts_ = nullptr;
    std::vector<std::string> listedKeys_;
    std::set<std::string> ticked_;
    int sortColumn_ = kStartedColumn;
    bool ascending_ = false;  // newest first
    bool filling_ = false;
};

// The Runs window of the main window: made when first asked for, at most
// one; the catalogue outlives it, so that files opened stay listed.
class RunsWindowKeeper {
public:
    RunsWindowKeeper(const ProgramFolder& folder, Desktop& desktop, RunsWindowActions actions)
        : folder_(folder), desktop_(desktop), actions_(std::move(actions))
    {
    }
    ~RunsWindowKeeper();
    RunsWindowKeeper(const RunsWindowKeeper&) = delete;
    RunsWindowKeeper& operator=(const RunsWindowKeeper&) = delete;

    // Opens the window, reading the runs folder, or raises the open one.
    void Show();
    // The window while it is open.
    RunsWindow* Window() const;

private:
    const ProgramFolder& folder_;
    Desktop& desktop_;
    RunsWindowActions actions_;
    RunCatalogue catalogue_;
    QPointer<RunsWindow> window_;
};

}  // namespace quillon
