#include "app/frequencies_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <utility>

#include "analysis/family_of_runs.h"
#include "analysis/frequency_sweep_file.h"
#include "analysis/result_table.h"
#include "app/frequency_settings.h"
#include "common/text_number.h"
#include "measure/frequency_list.h"
#include "measure/series_duration.h"
#include "measure/time_left.h"

namespace quillon {

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string Typed(const QLineEdit* box)
{
    return box->text().toStdString();
}

// "10 kHz (2 of 4)".
std::string PlaceInList(const std::vector<int32_t>& frequencies, std::size_t index)
{
    return HertzText(frequencies[index]) + " (" + std::to_string(index + 1) + " of " +
           std::to_string(frequencies.size()) + ")";
}

std::string EndingText(RunEnding ending)
{
    switch (ending) {
        case RunEnding::Stopped:
            return "STOP ended it";
        case RunEnding::TimedOut:
            return "the meter did not answer in time";
        case RunEnding::BusFailure:
            return "the meter's reply could not be read";
        case RunEnding::Unbalanced:
            return "the bridge could not balance";
        case RunEnding::Refused:
        case RunEnding::NoCycles:
            return "the sweep was not started";
        case RunEnding::Completed:
            break;
    }
    return "it was asked to end after this sweep";
}

// "1 sweep", "4 sweeps", "2 biases": `many` where it is not just `one` + "s".
std::string Plural(std::size_t count, const std::string& one, const std::string& many = {})
{
    return std::to_string(count) + " " + (count == 1 ? one : many.empty() ? one + "s" : many);
}

// The frequency of a box that holds one, as a list of one reads it.
std::optional<int32_t> OneFrequency(const std::string& typed)
{
    const TypedList<int32_t> list = ReadFrequencyList(typed);
    if (list.values.size() != 1) return std::nullopt;
    return list.values.front();
}

// The main window's sweep as a run would prepare it at `firstHertz`.
RunPreparation PreparedSweep(const MeasurementSettings& settings, int32_t firstHertz)
{
    MeasurementSettingsValues values = CopySettings(settings);
    values.text[kFrequency] = std::to_string(firstHertz);
    return PrepareRun(values);
}

}  // namespace

FrequenciesWindow::FrequenciesWindow(FormLCR& form, const Environment& environment, QWidget* parent)
    : QWidget(parent), form_(form), environment_(environment)
{
    setWindowTitle(kFrequenciesWindowCaption);
    const FrequencyInputs inputs = ReadFrequencyInputs(environment_.programFolder);
    list_ = new QLineEdit(Text(inputs.list), this);
    list_->setPlaceholderText("1k 10k 100k 1M");
    start_ = new QLineEdit(Text(inputs.start), this);
    stop_ = new QLineEdit(Text(inputs.stop), this);
    perDecade_ = new QLineEdit(Text(inputs.perDecade), this);
    fill_ = new QPushButton("Fill list", this);
    listInfo_ = new QLabel(this);
    listInfo_->setWordWrap(true);
    runList_ = new QPushButton("Run list", this);
    stopAfter_ = new QPushButton("Stop after this sweep", this);
    stopAfter_->setEnabled(false);
    biases_ = new QLineEdit(Text(inputs.biases), this);
    biases_->setPlaceholderText("-2 -1.5 -1");
    measure_ = new QPushButton("Measure C-f", this);
    save_ = new QPushButton("Save C-f...", this);
    save_->setEnabled(false);
    progress_ = new QLabel(this);
    progress_->setWordWrap(true);
    analyse_ = new QPushButton("Analyse", this);
    analyse_->setEnabled(false);

    auto* listGroup = new QGroupBox("Frequency list: the main window's sweep at each", this);
    auto* listGrid = new QGridLayout(listGroup);
    listGrid->addWidget(new QLabel("Frequencies [Hz]", listGroup), 0, 0);
    listGrid->addWidget(list_, 0, 1, 1, 6);
    listGrid->addWidget(new QLabel("From", listGroup), 1, 0);
    listGrid->addWidget(start_, 1, 1);
    listGrid->addWidget(new QLabel("to", listGroup), 1, 2);
    listGrid->addWidget(stop_, 1, 3);
    listGrid->addWidget(new QLabel("points per decade", listGroup), 1, 4);
    listGrid->addWidget(perDecade_, 1, 5);
    listGrid->addWidget(fill_, 1, 6);
    listGrid->addWidget(listInfo_, 2, 0, 1, 7);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(runList_);
    listButtons->addWidget(stopAfter_);
    listButtons->addStretch();
    listGrid->addLayout(listButtons, 3, 0, 1, 7);

    auto* fixedGroup = new QGroupBox("C-f and G-f at fixed bias: the list at each bias", this);
    auto* fixedGrid = new QGridLayout(fixedGroup);
    fixedGrid->addWidget(new QLabel("Biases [V]", fixedGroup), 0, 0);
    fixedGrid->addWidget(biases_, 0, 1);
    fixedGrid->addWidget(measure_, 0, 2);
    fixedGrid->addWidget(save_, 0, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listGroup);
    layout->addWidget(fixedGroup);
    layout->addWidget(progress_);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(analyse_);
    layout->addLayout(bottom);
    layout->addStretch();

    connect(fill_, &QPushButton::clicked, this, [this] { FillList(); });
    connect(runList_, &QPushButton::clicked, this, [this] { RunList(); });
    connect(stopAfter_, &QPushButton::clicked, this, [this] { StopAfterThisSweep(); });
    connect(measure_, &QPushButton::clicked, this, [this] { MeasureFrequencySweep(); });
    connect(save_, &QPushButton::clicked, this, [this] { SaveFrequencySweep(); });
    connect(analyse_, &QPushButton::clicked, this, [this] { Analyse(); });
    connect(list_, &QLineEdit::textChanged, this, [this] { ShowListInfo(); });
    ShowListInfo();
}

FrequenciesWindow::~FrequenciesWindow()
{
    form_.SetYieldObserver({});
}

void FrequenciesWindow::FillList()
{
    const std::optional<int32_t> start = OneFrequency(Typed(start_));
    const std::optional<int32_t> stop = OneFrequency(Typed(stop_));
    const std::optional<double> perDecade = WholeNumberOfText(Typed(perDecade_));
    if (!start || !stop) {
        environment_.desktop.ShowMessage(
            "From and to must each be one frequency from 20 Hz to 1 MHz (such as 1k or 1M).",
            kFrequenciesWindowCaption);
        return;
    }
    const TypedList<int32_t> list = DecadeFrequencyList(
        *start, *stop,
        perDecade && *perDecade == std::floor(*perDecade) ? static_cast<int>(*perDecade) : 0);
    if (!list.problem.empty()) {
        environment_.desktop.ShowMessage(list.problem, kFrequenciesWindowCaption);
        return;
    }
    list_->setText(Text(FrequencyListText(list.values)));
}

std::optional<std::vector<int32_t>> FrequenciesWindow::TypedFrequencies()
{
    TypedList<int32_t> list = ReadFrequencyList(Typed(list_));
    if (!list.problem.empty()) {
        environment_.desktop.ShowMessage(list.problem, kFrequenciesWindowCaption);
        return std::nullopt;
    }
    return std::move(list.values);
}

void FrequenciesWindow::ShowListInfo()
{
    const TypedList<int32_t> list = ReadFrequencyList(Typed(list_));
    if (!list.problem.empty()) {
        listInfo_->setText(Text(list.problem));
        return;
    }
    std::string info = Plural(list.values.size(), "frequency", "frequencies");
    const RunPreparation sweep = PreparedSweep(form_.Settings(), list.values.front());
    if (const auto* plan = std::get_if<RunPlan>(&sweep))
        info += ", about " +
                DurationText(static_cast<long long>(
                    SeriesMilliseconds(plan->instrument, list.values, plan->biasMillivolts.size()) /
                    1000)) +
                " for the main window's sweep of " + Plural(plan->biasMillivolts.size(), "point") +
                " at each";
    listInfo_->setText(Text(info + "."));
}

bool FrequenciesWindow::AcceptDuration(uint64_t milliseconds, const std::string& what)
{
    if (milliseconds <= kOneDayMilliseconds) return true;
    return environment_.desktop.AskYesNo(
        what + " would take about " + DurationText(static_cast<long long>(milliseconds / 1000)) +
            " (hours:minutes:seconds), more than a day. Start it all the same?",
        kFrequenciesWindowCaption);
}

void FrequenciesWindow::SetBusy(bool busy)
{
    for (QWidget* control : std::initializer_list<QWidget*>{runList_, measure_, fill_})
        control->setEnabled(!busy);
    stopAfter_->setEnabled(busy);
    save_->setEnabled(!busy && frequencySweep_.has_value());
    analyse_->setEnabled(!busy && (frequencySweep_.has_value() || !listRuns_.empty()));
}

void FrequenciesWindow::StoreInputs()
{
    WriteFrequencyInputs(environment_.programFolder, {Typed(list_), Typed(start_), Typed(stop_),
                                                      Typed(perDecade_), Typed(biases_)});
}

void FrequenciesWindow::RunList()
{
    if (form_.Running()) {
        environment_.desktop.ShowMessage(
            "A run is being measured: the list can start once it ends.", kFrequenciesWindowCaption);
        return;
    }
    const std::optional<std::vector<int32_t>> frequencies = TypedFrequencies();
    if (!frequencies) return;
    const RunPreparation sweep = PreparedSweep(form_.Settings(), frequencies->front());
    if (const auto* refused = std::get_if<RunRefused>(&sweep)) {
        environment_.desktop.ShowMessage(refused->message, kFrequenciesWindowCaption);
        return;
    }
    if (std::holds_alternative<NoCycles>(sweep)) {
        environment_.desktop.ShowMessage(
            "Cycle of Meas. is 0: the main window's sweep has no point to measure.",
            kFrequenciesWindowCaption);
        return;
    }
    const RunPlan& plan = std::get<RunPlan>(sweep);
    const auto pointsPerSweep = static_cast<int>(plan.biasMillivolts.size());
    if (!AcceptDuration(SeriesMilliseconds(plan.instrument, *frequencies,
                                           static_cast<uint64_t>(pointsPerSweep)),
                        "The list of " + Plural(frequencies->size(), "sweep")))
        return;
    StoreInputs();

    const int pointsPlanned = pointsPerSweep * static_cast<int>(frequencies->size());
    const uint32_t listStart = environment_.clock.TickCount();
    std::size_t index = 0;
    stopAfterSweep_ = false;
    SetBusy(true);
    form_.SetYieldObserver([&] {
        const int done = pointsPerSweep * static_cast<int>(index) + form_.RunPointsRead();
        const std::string left =
            TimeLeftText(done, pointsPlanned, environment_.clock.TickCount() - listStart);
        progress_->setText(Text("Frequency " + PlaceInList(*frequencies, index) + ", point " +
                                std::to_string(form_.RunPointsRead()) + " of " +
                                std::to_string(pointsPerSweep) +
                                (left.empty() ? "" : "; " + left + " for the list") +
                                (stopAfterSweep_ ? "; the list ends after this sweep" : "")));
    });
    const FormLCR::FrequencyListOutcome outcome = form_.RunFrequencyList(*frequencies, [&] {
        if (stopAfterSweep_) return false;
        ++index;
        return true;
    });
    form_.SetYieldObserver({});
    listRuns_ = outcome.runs;
    const bool whole =
        outcome.lastEnding == RunEnding::Completed && outcome.runs.size() == frequencies->size();
    std::string said = whole ? "The list is done: "
                             : "The list ended at " + PlaceInList(*frequencies, index) + ", as " +
                                   EndingText(outcome.lastEnding) + ". ";
    said += Plural(outcome.runs.size(), "sweep") + " measured and kept in the runs folder";
    if (!whole && outcome.lastEnding != RunEnding::Completed) said += "; the bias is off";
    progress_->setText(Text(said + "."));
    SetBusy(false);
    if (!outcome.runs.empty()) analyseListRuns_ = true;
    if (outcome.runs.size() >= 2) Analyse();
}

void FrequenciesWindow::StopAfterThisSweep()
{
    stopAfterSweep_ = true;
}

void FrequenciesWindow::MeasureFrequencySweep()
{
    if (form_.Running()) {
        environment_.desktop.ShowMessage(
            "A run is being measured: C-f can be measured once it ends.",
            kFrequenciesWindowCaption);
        return;
    }
    const std::optional<std::vector<int32_t>> frequencies = TypedFrequencies();
    if (!frequencies) return;
    TypedList<int16_t> biases = ReadBiasList(Typed(biases_));
    if (!biases.problem.empty()) {
        environment_.desktop.ShowMessage(biases.problem, kFrequenciesWindowCaption);
        return;
    }
    MeasurementSettingsValues settings = CopySettings(form_.Settings());
    settings.text[kFrequency] = std::to_string(frequencies->front());
    const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(settings);
    if (const auto* bad = std::get_if<SettingOutOfRange>(&instrument)) {
        environment_.desktop.ShowMessage(OutOfRangeMessage(*bad), kFrequenciesWindowCaption);
        return;
    }
    if (!AcceptDuration(FrequencySweepMilliseconds(std::get<InstrumentSettings>(instrument),
                                                   *frequencies, biases.values.size()),
                        "The C-f measurement of " + Plural(biases.values.size(), "bias", "biases") +
                            " at " + Plural(frequencies->size(), "frequency", "frequencies")))
        return;
    StoreInputs();
    FrequencySweepPlan plan{std::move(biases.values), *frequencies};
    SetBusy(true);
    stopAfter_->setEnabled(false);
    progress_->setText("Measuring C-f: STOP in the main window ends it.");
    FormLCR::FrequencySweepOutcome outcome = form_.MeasureFrequencySweep(plan);
    const std::size_t planned = plan.biasMillivolts.size() * plan.frequenciesHertz.size();
    const std::size_t read = outcome.result.points.size();
    std::string said = "C-f: " + std::to_string(read) + " of " + Plural(planned, "point") + " read";
    if (read < planned) said += ", as " + EndingText(outcome.result.ending);
    if (!outcome.path.empty()) said += "; kept as " + outcome.path;
    progress_->setText(Text(said + "."));
    if (read > 0) {
        frequencySweep_ = std::move(outcome);
        frequencySweepPlan_ = std::move(plan);
        analyseListRuns_ = false;
    }
    SetBusy(false);
    if (read > 1 && frequencySweepPlan_->frequenciesHertz.size() > 1) Analyse();
}

void FrequenciesWindow::Analyse()
{
    if (analyseListRuns_ && !listRuns_.empty()) {
        form_.AnalyseFrequencies(listRuns_);
    } else if (frequencySweep_) {
        const double area = PadAreaSquareMicrons(frequencySweep_->context.settings);
        form_.AnalyseFrequencies(FamilyOfFrequencySweep(
            frequencySweep_->result.points, area > 0 ? std::optional<double>(area) : std::nullopt,
            frequencySweep_->context.sample,
            frequencySweep_->path.empty()
                ? std::string("C-f measurement")
                : std::filesystem::path(frequencySweep_->path).filename().string()));
    }
}

void FrequenciesWindow::SaveFrequencySweep()
{
    if (!frequencySweep_ || !frequencySweepPlan_) return;
    const std::string path = environment_.desktop.AskSaveFileName(
        "CSV (*.csv)|*.csv",
        FrequencySweepFileStem(frequencySweep_->context.started, frequencySweep_->context.sample));
    if (path.empty()) return;
    const std::optional<std::string> failure =
        SaveTextFile(path,
                     FrequencySweepFileText(frequencySweep_->context, *frequencySweepPlan_,
                                            frequencySweep_->result.points),
                     "data");
    if (failure) environment_.desktop.ShowMessage(*failure, kFrequenciesWindowCaption);
}

}  // namespace quillon
