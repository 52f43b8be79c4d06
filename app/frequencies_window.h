// The Frequencies window: a list of test frequencies, typed or filled from
// a start, a stop and points per decade, run as the main window's sweep
// once per frequency; and C-f and G-f at fixed biases over the same list.
// What the last list or C-f measurement gave goes to the Analysis window's
// analysis of several frequencies.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

inline constexpr const char* kFrequenciesWindowCaption = "Frequencies";

class FrequenciesWindow final : public QWidget {
    Q_OBJECT

public:
    FrequenciesWindow(FormLCR& form, const Environment& environment, QWidget* parent = nullptr);
    ~FrequenciesWindow() override;

    // "Fill list": the list from start, stop and points per decade.
    void FillList();
    // "Run list": asks first when the list would run for more than a day.
    void RunList();
    // "Stop after this sweep": the list ends once the sweep being measured
    // is done.
    void StopAfterThisSweep();
    // "Measure C-f": every frequency at each bias of the list.
    void MeasureFrequencySweep();
    // "Save C-f...": the last C-f measurement into a file chosen.
    void SaveFrequencySweep();
    // "Analyse": the last list's runs or the last C-f measurement, whichever
    // came last, in the Analysis window's "Frequencies" tab; also shown there
    // as soon as either has read points at two frequencies or more.
    void Analyse();

    // The runs of the last list, in the order measured.
    const std::vector<StoredRun>& ListRuns() const { return listRuns_; }
    const std::optional<FormLCR::FrequencySweepOutcome>& LastFrequencySweep() const
    {
        return frequencySweep_;
    }

    QLineEdit* ListBox() const { return list_; }
    QLineEdit* StartBox() const { return start_; }
    QLineEdit* StopBox() const { return stop_; }
    QLineEdit* PerDecadeBox() const { return perDecade_; }
    QLineEdit* BiasBox() const { return biases_; }
    QLabel* ListInfo() const { return listInfo_; }
    QLabel* Progress() const { return progress_; }
    QPushButton* RunListButton() const { return runList_; }
    QPushButton* StopAfterButton() const { return stopAfter_; }
    QPushButton* MeasureButton() const { return measure_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* AnalyseButton() const { return analyse_; }

private:
    // The list as typed, or none after saying why.
    std::optional<std::vector<int32_t>> TypedFrequencies();
    // True where the measurement may start: a time over a day is asked.
    bool AcceptDuration(uint64_t milliseconds, const std::string& what);
    void ShowListInfo();
    void SetBusy(bool busy);
    void StoreInputs();

    FormLCR& form_;
    Environment environment_;
    QLineEdit* list_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* stop_ = nullptr;
    QLineEdit* perDecade_ = nullptr;
    QLineEdit* biases_ = nullptr;
    QLabel* listInfo_ = nullptr;
    QLabel* progress_ = nullptr;
    QPushButton* fill_ = nullptr;
    QPushButton* runList_ = nullptr;
    QPushButton* stopAfter_ = nullptr;
    QPushButton* measure_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* analyse_ = nullptr;
    bool stopAfterSweep_ = false;
    std::vector<StoredRun> listRuns_;
    std::optional<FormLCR::FrequencySweepOutcome> frequencySweep_;
    std::optional<FrequencySweepPlan> frequencySweepPlan_;
    // What "Analyse" shows: the list's runs where they came last.
    bool analyseListRuns_ = true;
};

}  // namespace quillon
