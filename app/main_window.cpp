#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "analysis/family_of_runs.h"
#include "analysis/result_table.h"
#include "analysis/run_overview.h"
#include "analysis/sweep_legs.h"
#include "app/captioned_frame.h"
#include "app/first_start_settings.h"
#include "app/fixed_window.h"
#include "app/frequencies_window.h"
#include "app/frequency_settings.h"
#include "app/pad_area_calculator.h"
#include "app/picture_box.h"
#include "app/picture_export.h"
#include "app/query_window.h"
#include "app/results_settings.h"
#include "app/settings_file.h"
#include "app/tab_control.h"
#include "app/widget_text.h"
#include "gpib/gpib_binding.h"
#include "gpib/instrument_query.h"
#include "platform/display_connection.h"
#include "platform/module_ini.h"

namespace quillon {

namespace {

// Client area of 9435 x 6810 twips.
constexpr int kClientWidthTwips = 9435;
constexpr int kClientHeightTwips = 6810;

QString DesignText(int field)
{
    static const MeasurementSettingsValues design;
    return QString::fromStdString(design.Text1(field));
}

}  // namespace

std::string MainWindowCaption(const GpibDriver* bus)
{
    return std::string(kMainWindowCaption) + (bus ? bus->CaptionMark() : std::string());
}

FormLCR::FormLCR(const Environment& environment, QWidget* parent)
    : QWidget(parent),
      environment_(environment),
      analysisWindow_(environment.desktop),
      correctionWindow_(environment.clock, environment.programFolder, environment.desktop),
      runsWindow_(environment.programFolder, environment.desktop,
                  {[this](const StoredRun& run) { ShowStoredRun(run); },
                   [this] { ShowFrequenciesWindow(); },
                   [this](const std::vector<StoredRun>& runs) { AnalyseFrequencies(runs); },
                   [this] { correctionWindow_.Show(); }})
{
    correctionWindow_.SetHooks(MakeCorrectionHooks({}));
    SetUpFixedWindow(*this, MainWindowCaption(SelectedGpibDriver()).c_str(), kClientWidthTwips,
                     kClientHeightTwips);

    ui_.SSTab1 =
        new TabControl({"Page 1", "Page 2", "INFO"}, TwipsRect(120, 120, 3015, 4935), this);
    ui_.SSTab2 = new TabControl({"C-V", "G-V", "TEXT"}, TwipsRect(3240, 120, 6135, 5295), this);
    BuildPage1(ui_.SSTab1->Page(kPage1Tab));
    BuildPage2(ui_.SSTab1->Page(kPage2Tab));
    BuildInfoPage(ui_.SSTab1->Page(kInfoTab));
    BuildGraphPage(ui_.SSTab2->Page(kCvTab), ui_.Picture1, 0);
    BuildGraphPage(ui_.SSTab2->Page(kGvTab), ui_.Picture2, 2);
    BuildTextPage(ui_.SSTab2->Page(kTextTab));
    BuildBottomRow();

    // Esc anywhere in the window presses STOP, as a dialog's cancel button.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, ui_.Command9, &QPushButton::click);

    auto* analysisKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
    analysisKey->setContext(Qt::WindowShortcut);
    connect(analysisKey, &QShortcut::activated, this, [this] { analysisWindow_.Show(); });
    auto* runsKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_R), this);
    runsKey->setContext(Qt::WindowShortcut);
    connect(runsKey, &QShortcut::activated, this, [this] { runsWindow_.Show(); });
    for (QWidget* widget :
         {static_cast<QWidget*>(ui_.Picture1), static_cast<QWidget*>(ui_.Picture2),
          static_cast<QWidget*>(ui_.Label1)}) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, widget](const QPoint& position) { ShowContextMenu(widget, position); });
    }

    connect(ui_.Command1, &QPushButton::clicked, this, &FormLCR::Command1_Click);
    connect(ui_.Command2, &QPushButton::clicked, this, &FormLCR::Command2_Click);
    connect(ui_.Command3, &QPushButton::clicked, this, &FormLCR::Command3_Click);
    connect(ui_.Command4, &QPushButton::clicked, this, &FormLCR::Command4_Click);
    connect(ui_.Command5, &QPushButton::clicked, this, &FormLCR::Command5_Click);
    connect(ui_.Command6, &QPushButton::clicked, this, &FormLCR::Command6_Click);
    connect(ui_.Picture1, &PictureBox::MouseMove, this, &FormLCR::Picture1_MouseMove);
    connect(ui_.Picture2, &PictureBox::MouseMove, this, &FormLCR::Picture2_MouseMove);
    connect(ui_.Command7, &QPushButton::clicked, this, &FormLCR::Command7_Click);
    connect(ui_.Command9, &QPushButton::clicked, this, &FormLCR::Command9_Click);

    Form_Load();
}

FormLCR::~FormLCR()
{
    // The calculator and the query window are windows of their own, but
    // they write into this one.
    delete calculator_;
    delete queryWindow_;
    delete frequenciesWindow_;
}

void FormLCR::BuildBottomRow()
{
    ui_.Label3 = Place(new QLabel("Progress Done/Total", this), 240, 5160, 2895, 255);

    // STATUS lies under START and is seen only while START is hidden.
    ui_.Frame4 = Place(new CaptionedFrame("STATUS", this), 120, 5520, 3015, 855);
    const char* live[kLabel4Count] = {"Now C", "Now G", "Cmax", "Gmax"};
    const int liveLeft[kLabel4Count] = {240, 240, 1560, 1560};
    const int liveTop[kLabel4Count] = {240, 480, 240, 480};
    for (int i = 0; i < kLabel4Count; ++i)
        ui_.Label4[static_cast<std::size_t>(i)] =
            Place(new QLabel(live[i], ui_.Frame4), liveLeft[i], liveTop[i], 855, 255);
    ui_.Command1 = Place(new QPushButton("START &MEASUREMENT", this), 120, 5520, 3015, 1215);
    ui_.Command1->raise();

    ui_.Command9 = Place(new QPushButton("STOP! (Esc)", this), 3240, 5520, 1575, 1215);
    ui_.Command7 = Place(new QPushButton("Save Data", this), 6720, 5520, 2655, 1215);
    ui_.ProgressBar1 = Place(new QProgressBar(this), 120, 6480, 3015, 255);
    ui_.ProgressBar1->setRange(0, 100);
    ui_.ProgressBar1->setValue(0);
    ui_.ProgressBar1->setTextVisible(false);
    // Centred, the time left is drawn inside the bar in every style.
    ui_.ProgressBar1->setAlignment(Qt::AlignCenter);
}

void FormLCR::AddParameter(QWidget* page, int label, int text, int labelLeft, int textLeft, int top,
                           int labelWidth, int textWidth, const char* caption)
{
    ui_.Label2[static_cast<std::size_t>(label)] =
        Place(new QLabel(caption, page), labelLeft, top, labelWidth, 255);
    ui_.Text1[static_cast<std::size_t>(text)] =
        Place(new QLineEdit(DesignText(text), page), textLeft, top, textWidth, 270);
}

void FormLCR::BuildPage1(QWidget* page)
{
    ui_.Command2 = Place(new QPushButton("Laod settong", page), 120, 480, 1335, 255);
    ui_.Command3 = Place(new QPushButton("Save setting", page), 1560, 480, 1335, 255);
    AddParameter(page, 0, kStartBias, 240, 1920, 840, 1215, 855, "Start Bias [V]");
    AddParameter(page, 1, kStopBias, 240, 1920, 1200, 1215, 855, "Stop Bias [V]");
    AddParameter(page, 2, kBiasStep, 240, 1920, 1560, 1215, 855, "Bias Step [V]");
    ui_.Check1[kDoubleSweep] = Place(new QCheckBox("Double sweep", page), 240, 1920, 1575, 255);
    AddParameter(page, 3, kFrequency, 240, 1920, 2280, 1215, 855, "Frequency [Hz]");
    AddParameter(page, 7, kCycles, 240, 1920, 2640, 1215, 855, "Cycle of Meas.");

    ui_.Frame2 = Place(new CaptionedFrame("AD Integration", page), 240, 3000, 2535, 855);
    ui_.Option2[0] = Place(new QRadioButton("Short", ui_.Frame2), 120, 240, 975, 255);
    ui_.Option2[1] = Place(new QRadioButton("Medium", ui_.Frame2), 1080, 240, 1215, 255);
    ui_.Option2[2] = Place(new QRadioButton("LONG", ui_.Frame2), 120, 480, 855, 255);

    ui_.Frame1 = Place(new CaptionedFrame("Pad Area (um2)", page), 240, 3960, 2535, 615);
    ui_.Text1[kPadArea] =
        Place(new QLineEdit(DesignText(kPadArea), ui_.Frame1), 120, 240, 1095, 270);
    ui_.Command4 = Place(new QPushButton("Calculator", ui_.Frame1), 1320, 240, 1095, 255);
}

void FormLCR::BuildPage2(QWidget* page)
{
    ui_.Check1[kInvertBias] = Place(new QCheckBox("invert bias", page), 480, 720, 1215, 255);
    ui_.Check1[kQuitWhenUnbal] = Place(new QCheckBox("Quit when UNBAL", page), 480, 960, 1935, 255);
    ui_.Check1[kBeepWhenFinished] =
        Place(new QCheckBox("BEEP when finished", page), 480, 1200, 1935, 255);
    ui_.Check1[kBeepWhenTriggered] =
        Place(new QCheckBox("BEEP when triggered", page), 480, 1440, 1935, 255);
    AddParameter(page, 4, kAveraging, 240, 1680, 2280, 1455, 975, "Averaging(1-255)");
    AddParameter(page, 5, kTriggerDelay, 240, 1680, 2640, 1335, 975, "Trigger Delay [s]");
    AddParameter(page, 6, kAcLevel, 240, 1680, 3000, 1335, 975, "AC level [mV]");

    ui_.Frame3 = Place(new CaptionedFrame("GPIB Setting", page), 240, 3720, 2535, 975);
    AddParameter(ui_.Frame3, 8, kGpibBoard, 120, 960, 240, 735, 495, "BOARD");
    AddParameter(ui_.Frame3, 9, kInstrumentAddress, 120, 960, 600, 615, 495, "4284A");
    ui_.Command5 = Place(new QPushButton("Check", ui_.Frame3), 1560, 600, 855, 255);
}

void FormLCR::BuildInfoPage(QWidget* page)
{
    ui_.Label1 = Place(new QLabel("Measurement Information", page), 240, 600, 2535, 2535);
    ui_.Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui_.Label1->setWordWrap(true);
}

void FormLCR::BuildGraphPage(QWidget* page, PictureBox*& picture, int firstReadout)
{
    picture = Place(new PictureBox(page), 120, 360, 5895, 4815);
    // The read-outs lie on the picture's top edge, inside its frame.
    const QPoint inside = picture->contentsRect().topLeft();
    const QRect places[2] = {TwipsRect(0, 0, 615, 270), TwipsRect(720, 0, 1335, 270)};
    for (int i = 0; i < 2; ++i) {
        auto* readout = new QLineEdit("Text3", picture);
        readout->setGeometry(places[i].translated(inside));
        ui_.Text3[static_cast<std::size_t>(firstReadout + i)] = readout;
    }
}

void FormLCR::BuildTextPage(QWidget* page)
{
    ui_.RichTextBox1 = Place(new QPlainTextEdit("RichTextBox1", page), 120, 360, 5895, 3735);
    ui_.List1 = Place(new QListWidget(page), 120, 4200, 3255, 960);
    ui_.Command6 = Place(new QPushButton("Show Result", page), 3480, 4200, 2535, 975);
}

void FormLCR::Form_Load()
{
    LoadSettings();
    showEarlierRuns_ = ReadShowEarlierRuns(environment_.programFolder);
    for (auto [picture, scale] : {std::pair(ui_.Picture1, kCapacitanceStartScale),
                                  std::pair(ui_.Picture2, kConductanceStartScale)})
        picture->Scale(scale.left, scale.top, scale.right, scale.bottom);
}

std::string FormLCR::Text1(int index) const
{
    const std::size_t field = static_cast<std::size_t>(index);
    const QString shown = ui_.Text1.at(field)->text();
    // A stored value that is not UTF-8 cannot be shown as it is; as long as
    // nobody edits it, it keeps its bytes.
    if (shown == loadedText_[field].shown) return loadedText_[field].bytes;
    return shown.toStdString();
}

int FormLCR::Check1(int index) const
{
    return ui_.Check1.at(static_cast<std::size_t>(index))->isChecked() ? 1 : 0;
}

std::optional<int> FormLCR::SelectedOption2() const
{
    for (int i = 0; i < kOption2Count; ++i)
        if (ui_.Option2[static_cast<std::size_t>(i)]->isChecked()) return i;
    return std::nullopt;
}

void FormLCR::LoadSettings()
{
    const StoredSettings stored = InitialSettings(environment_.programFolder);
    for (std::size_t i = 0; i < stored.values.size(); ++i) {
        loadedText_[i] = {stored.values[i], QString::fromStdString(stored.values[i])};
        ui_.Text1[i]->setText(loadedText_[i].shown);
    }
    for (std::size_t j = 0; j < stored.checks.size(); ++j)
        ui_.Check1[j]->setChecked(stored.checks[j] == 1);
    ui_.Option2.at(static_cast<std::size_t>(stored.integration))->setChecked(true);
    ui_.RichTextBox1->clear();
    for (QLineEdit* readout : ui_.Text3) readout->clear();
}

void FormLCR::SaveSettings()
{
    if (const std::optional<std::string> failure =
            WriteStoredSettings(environment_.programFolder, *this))
        environment_.desktop.ShowMessage(*failure, "Save setting", MessageIcon::Exclamation);
}

void FormLCR::SetRunning(bool running)
{
    running_ = running;
    SetTimeLeft({});
    ui_.Command1->setVisible(!running);
    if (queryWindow_) queryWindow_->SetMeasurementRunning(running);
    for (QPushButton* button : {ui_.Command2, ui_.Command3, ui_.Command4, ui_.Command7})
        button->setEnabled(!running);
}

Form1* FormLCR::Calculator() const
{
    // A calculator that has been closed is on its way out.
    if (calculator_ && calculator_->isVisible()) return calculator_;
    return nullptr;
}

void FormLCR::SetProgressValue(int percent)
{
    ui_.ProgressBar1->setValue(percent);
}

void FormLCR::SetProgressCaption(const std::string& caption)
{
    ui_.Label3->setText(QString::fromStdString(caption));
}

void FormLCR::SetTimeLeft(const std::string& text)
{
    ui_.ProgressBar1->setFormat(QString::fromStdString(text));
    ui_.ProgressBar1->setTextVisible(!text.empty());
}

void FormLCR::SetStatusCaptions(const std::array<std::string, kStatusCaptionCount>& captions)
{
    for (std::size_t i = 0; i < captions.size(); ++i)
        ui_.Label4[i]->setText(QString::fromStdString(captions[i]));
}

void FormLCR::YieldOnce()
{
    // Qt ends the process inside its event loop once the display is gone:
    // the run must end as STOP ends it before the loop runs again.
    if (DisplayConnectionLost()) {
        stopRequested_ = true;
        return;
    }
    QApplication::processEvents();
    // The Runs window draws the run point by point, from its first point on.
    if (RunsWindow* runs = runsWindow_.Window(); runs && liveRun_ && sweep_.RunPointsRead) {
        TakeNewPoints(*liveRun_, sweep_, liveLegs_);
        runs->ShowLiveRun(*liveRun_);
    }
    if (yieldObserver_) yieldObserver_();
}

void FormLCR::Command1_Click()
{
    if (running_) return;
    // The window's wait serves the events, START among them.
    if (correctionWindow_.Busy()) {
        environment_.desktop.ShowMessage(kRunDuringCorrectionMessage);
        return;
    }
    if (!shownFile_.empty()) {
        setWindowTitle(measuringCaption_);
        shownFile_.clear();
    }
    CsvRunContext context = RunContextAtStart();
    runFigures_.reset();
    liveRun_ = InProgressRun(context);
    liveLegs_ = PlannedLegs(context.settings);
    const EndOfRunPass endOfRun = [this, started = context.started,
                                   correction = context.correction](SweepData& sweep,
                                                                    const RunTimes& times) {
        SummarizeRun(sweep, times, started, correction);
    };
    const RunResult result = RunMeasurement(*this, sweep_, environment_, endOfRun);
    lastResult_ = result;
    lastKeptFile_.clear();
    runTimes_ = result.times;
    // A run that read no point left the last run's points, and their context.
    if (result.pointsRead > 0) {
        context.settings.text[kPadArea] = Text1(kPadArea);
        context.elapsedMilliseconds = ElapsedMilliseconds(result.times);
        context.summary = runFigures_;
        lastRun_ = std::move(context);
        SaveRunAutomatically();
    }
    liveRun_.reset();
    if (RunsWindow* runs = runsWindow_.Window()) runs->EndLiveRun();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

FormLCR::FrequencyListOutcome FormLCR::RunFrequencyList(
    const std::vector<int32_t>& frequenciesHertz, const std::function<bool()>& betweenSweeps)
{
    FrequencyListOutcome outcome;
    if (running_) return outcome;
    QLineEdit* frequencyBox = ui_.Text1[kFrequency];
    const QString typed = frequencyBox->text();
    for (std::size_t i = 0; i < frequenciesHertz.size(); ++i) {
        frequencyBox->setText(QString::number(frequenciesHertz[i]));
        Command1_Click();
        outcome.lastEnding = lastResult_.ending;
        // A sweep that read no point left the last one's context in place.
        if (lastResult_.pointsRead > 0 && lastRun_) {
            StoredRun run = InProgressRun(*lastRun_);
            run.source = RunSource::CsvDataFile;
            run.path = lastKeptFile_;
            run.frequencyHertz = frequenciesHertz[i];
            if (const double area = PadAreaSquareMicrons(lastRun_->settings); area > 0)
                run.padAreaSquareMicrons = area;
            TakeNewPoints(run, sweep_, liveLegs_);
            outcome.runs.push_back(std::move(run));
        }
        // Closing the window during a sweep ends the list with it.
        if (lastResult_.ending != RunEnding::Completed || !isVisible()) break;
        if (i + 1 < frequenciesHertz.size() && betweenSweeps && !betweenSweeps()) break;
    }
    frequencyBox->setText(typed);
    return outcome;
}

FormLCR::FrequencySweepOutcome FormLCR::MeasureFrequencySweep(const FrequencySweepPlan& plan)
{
    FrequencySweepOutcome outcome;
    if (running_) return outcome;
    outcome.context = RunContextAtStart();
    outcome.result = RunFrequencySweep(*this, environment_, plan);
    if (outcome.result.points.empty()) return outcome;
    outcome.context.elapsedMilliseconds = ElapsedMilliseconds(outcome.result.times);
    const KeptFrequencySweep kept = KeepFrequencySweep(environment_.programFolder, outcome.context,
                                                       plan, outcome.result.points);
    if (kept.failure) environment_.desktop.ShowMessage(*kept.failure);
    outcome.path = kept.path;
    return outcome;
}

void FormLCR::closeEvent(QCloseEvent* event)
{
    if (running_) {
        stopRequested_ = true;
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void FormLCR::Command2_Click()
{
    LoadSettings();
}

void FormLCR::Command3_Click()
{
    SaveSettings();
}

void FormLCR::Command4_Click()
{
    if (Form1* open = Calculator()) {
        open->raise();
        open->activateWindow();
        return;
    }
    calculator_ = new Form1(environment_.programFolder, ui_.Text1[kPadArea]);
    calculator_->show();
}

Test* FormLCR::QueryWindow() const
{
    return queryWindow_;
}

void FormLCR::AddAnalysisAction(QMenu& menu)
{
    menu.addAction("Analysis...", this, [this] { analysisWindow_.Show(); });
    menu.addAction("Runs...", this, [this] { runsWindow_.Show(); });
    menu.addAction("Frequencies...", this, [this] { ShowFrequenciesWindow(); });
    menu.addAction("Correction...", this, [this] { correctionWindow_.Show(); });
}

void FormLCR::ShowFrequenciesWindow()
{
    if (!frequenciesWindow_) frequenciesWindow_ = new FrequenciesWindow(*this, environment_);
    frequenciesWindow_->show();
    frequenciesWindow_->raise();
    frequenciesWindow_->activateWindow();
}

void FormLCR::AnalyseFrequencies(const std::vector<StoredRun>& runs)
{
    const RunsAsFamily made = FamilyOfRuns(runs);
    std::string leftOut;
    for (const std::string& run : made.leftOut) leftOut += "\r\n" + run;
    if (!leftOut.empty())
        environment_.desktop.ShowMessage("Left out of the analysis of several frequencies:" +
                                         leftOut);
    analysisWindow_.ShowFrequencyFamily(made.family);
}

FrequenciesWindow* FormLCR::FrequenciesWindowIfOpen() const
{
    if (frequenciesWindow_ && frequenciesWindow_->isVisible()) return frequenciesWindow_;
    return nullptr;
}

CorrectionHooks FormLCR::MakeCorrectionHooks(ProbeMover mover)
{
    CorrectionHooks hooks;
    hooks.target = [this]() -> CorrectionTargetOr {
        const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(*this);
        if (const auto* bad = std::get_if<SettingOutOfRange>(&instrument))
            return OutOfRangeText(*bad);
        const auto& settings = std::get<InstrumentSettings>(instrument);
        return CorrectionTarget{{settings.board, settings.address},
                                static_cast<double>(settings.frequencyHertz)};
    };
    hooks.running = [this] { return running_; };
    hooks.stateRead = [this](const MeterLocation& meter, const CorrectionState& state) {
        correctionRead_.emplace(meter, state);
    };
    hooks.probeMover = std::move(mover);
    return hooks;
}

void FormLCR::SetProbeMover(ProbeMover mover)
{
    correctionWindow_.SetHooks(MakeCorrectionHooks(std::move(mover)));
}

void FormLCR::ShowStoredRun(const StoredRun& run)
{
    if (running_) {
        environment_.desktop.ShowMessage(
            "A run is being measured: the window shows it until it ends.");
        return;
    }
    const MeasurementSettingsValues settings = SettingsOf(run, CopySettings(*this));
    sweep_ = SweepDataOf(run);
    if (run.points.size() > static_cast<std::size_t>(sweep_.PointCount))
        environment_.desktop.ShowMessage(
            "The main window holds " + std::to_string(kMostPlannedPoints) +
            " points at most: it shows the first of the " + std::to_string(run.points.size()) +
            " points of " + SourceText(run) + ". The Runs window draws them all.");
    runTimes_ = RunTimes{};
    const RunSummary summary = quillon::SummarizeRun(sweep_, runTimes_, settings.text[kPadArea],
                                                     ui_.List1->count(), analysis_);
    ui_.Label1->setText(summary.information ? WidgetText(*summary.information) : QString());
    ui_.RichTextBox1->setPlainText(WidgetText(ResultTableText(sweep_)));
    CsvRunContext context;
    context.started = run.started.value_or(environment_.clock.LocalTime());
    context.settings = settings;
    context.sample = run.sample;
    context.note = run.note;
    context.legs = run.legs;
    context.summary = summary.figures;
    lastRun_ = std::move(context);
    analysisWindow_.Follow(AnalysisRunOf(run));
    if (summary.redrawGraphs) AddToGraphs(sweep_);
    if (shownFile_.empty()) measuringCaption_ = windowTitle();
    shownFile_ = SourceText(run);
    setWindowTitle(measuringCaption_ + QString::fromStdString(" [shows " + shownFile_ + "]"));
}

void FormLCR::ShowContextMenu(QWidget* widget, const QPoint& position)
{
    QMenu menu(this);
    if (widget == ui_.Picture1 || widget == ui_.Picture2) {
        FillGraphMenu(menu, widget == ui_.Picture2 ? kGvTab : kCvTab);
        menu.addSeparator();
    }
    AddAnalysisAction(menu);
    menu.exec(widget->mapToGlobal(position));
}

void FormLCR::Command5_Click()
{
    if (!queryWindow_)
        queryWindow_ = new Test(environment_.desktop, ui_.Text1[kInstrumentAddress], running_,
                                [this](int address, const std::string& reply) {
                                    checkedMeter_.emplace(address, reply);
                                });
    queryWindow_->show();
    queryWindow_->raise();
}

void FormLCR::Picture1_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float y)
{
    ShowReadouts(0, VoltageReadout(x), CapacitanceReadout(y));
}

void FormLCR::Picture2_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float y)
{
    ShowReadouts(2, VoltageReadout(x), ConductanceReadout(y));
}

void FormLCR::ShowReadouts(int first, const std::string& bias, const std::string& value)
{
    for (const auto& [index, text] : {std::pair(first, &bias), std::pair(first + 1, &value)}) {
        QLineEdit* readout = ui_.Text3[static_cast<std::size_t>(index)];
        readout->setText(QString::fromStdString(*text));
        // A text longer than its box shows its start: "-10.05V" must keep
        // its sign.
        readout->setCursorPosition(0);
    }
}

void FormLCR::SummarizeRun(SweepData& sweep, const RunTimes& times, const std::tm& started,
                           const std::optional<CorrectionState>& correction)
{
    const RunSummary summary =
        quillon::SummarizeRun(sweep, times, Text1(kPadArea), ui_.List1->count(), analysis_);
    ui_.List1->addItem(QString::fromStdString(summary.runListEntry));
    if (summary.information) ui_.Label1->setText(WidgetText(*summary.information));
    if (summary.finishText) ui_.Label3->setText(QString::fromStdString(*summary.finishText));
    runFigures_ = summary.figures;
    analysisWindow_.RunEnded(sweep, *this, started, correction);
    if (summary.redrawGraphs) AddToGraphs(sweep);
}

void FormLCR::AddToGraphs(SweepData& sweep)
{
    if (std::optional<Graphs> graphs = DrawGraphs(sweep)) {
        graphHistory_.Add(std::move(*graphs), sweep.ReadablePoints());
        RedrawGraphs();
    }
}

void FormLCR::WithShownGraphs(const std::function<void(const Graphs&)>& use) const
{
    if (!showEarlierRuns_) {
        if (const Graphs* graphs = graphHistory_.Current()) use(*graphs);
    } else if (std::optional<Graphs> graphs = graphHistory_.WithEarlierRuns()) {
        use(*graphs);
    }
}

void FormLCR::RedrawGraphs()
{
    WithShownGraphs([this](const Graphs& graphs) { ShowGraphs(graphs); });
}

GraphFrame FormLCR::PictureFrame(ResultTab graph) const
{
    GraphFrame frame;
    WithShownGraphs([&frame, graph](const Graphs& shown) {
        frame = graph == kGvTab ? FrameOfPlot(shown.conductance, "G", "S")
                                : FrameOfPlot(shown.capacitance, "C", "F");
    });
    return frame;
}

void FormLCR::ShowGraphs(const Graphs& graphs)
{
    for (auto [picture, plot] : {std::pair(ui_.Picture1, &graphs.capacitance),
                                 std::pair(ui_.Picture2, &graphs.conductance)}) {
        picture->Cls();
        picture->Scale(plot->scale.left, plot->scale.top, plot->scale.right, plot->scale.bottom);
        for (const PlotLine& line : plot->lines) {
            std::optional<QRgb> colour;
            if (line.colour) colour = qRgb(0, 0, 0) | *line.colour;
            picture->Line(line.x1, line.y1, line.x2, line.y2, colour);
        }
    }
}

void FormLCR::Command6_Click()
{
    ui_.RichTextBox1->setPlainText(WidgetText(ResultTableText(sweep_)));
}

void FormLCR::Command7_Click()
{
    if (sweep_.ReadablePoints() == 0) {
        environment_.desktop.ShowMessage(kNothingToSaveMessage);
        return;
    }
    const SaveChoice choice =
        environment_.desktop.AskSaveFile(kDataFileFilter, SuggestedFileName());
    if (choice.path.empty()) return;
    // Every run that read a point left its context.
    const bool csv = choice.type == kCsvDataFileType && lastRun_;
    const std::optional<std::string> fileName = ConfirmedFileName(
        environment_.desktop, choice.path, csv ? kCsvExtension : kDataFileExtension, "Save Data");
    if (!fileName) return;
    const std::string text = csv ? CsvDataFileText(*lastRun_, sweep_) : DataFileText(sweep_);
    if (std::optional<std::string> failure = SaveTextFile(*fileName, text, "data"))
        environment_.desktop.ShowMessage(*failure);
}

std::string FormLCR::SuggestedFileName() const
{
    return lastRun_ ? RunFileStem(lastRun_->started, lastRun_->sample) : std::string("cv");
}

CsvRunContext FormLCR::RunContextAtStart() const
{
    CsvRunContext context;
    context.started = environment_.clock.LocalTime();
    context.settings = CopySettings(*this);
    context.bus = busDescription_;
    const RunLabels labels = ReadRunLabels(environment_.programFolder);
    context.sample = labels.sample;
    context.note = labels.note;
    // The query asks board 0 only; its reply describes the run's meter only
    // when the run goes to the same place.
    const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(context.settings);
    if (const auto* target = std::get_if<InstrumentSettings>(&instrument))
        if (checkedMeter_ && target->board == kQueryBoard &&
            target->address == checkedMeter_->first)
            context.meterIdentification = checkedMeter_->second;
    if (const auto* target = std::get_if<InstrumentSettings>(&instrument))
        if (correctionRead_ && correctionRead_->first.board == target->board &&
            correctionRead_->first.address == target->address)
            context.correction = correctionRead_->second;
    return context;
}

void FormLCR::SaveRunAutomatically()
{
    if (!lastRun_) return;
    const KeptRun kept = KeepFinishedRun(environment_.programFolder, *lastRun_, sweep_);
    lastKeptFile_ = kept.runsFolderFile;
    if (kept.failure) environment_.desktop.ShowMessage(*kept.failure);
    if (RunsWindow* runs = runsWindow_.Window(); runs && !kept.runsFolderFile.empty())
        runs->RunKept(kept.runsFolderFile);
}

PictureBox* FormLCR::Graph(ResultTab graph) const
{
    return graph == kGvTab ? ui_.Picture2 : ui_.Picture1;
}

void FormLCR::FillGraphMenu(QMenu& menu, ResultTab graph)
{
    const bool drawn = graphHistory_.Current() != nullptr;
    QAction* copy = menu.addAction("Copy picture");
    copy->setEnabled(drawn);
    connect(copy, &QAction::triggered, this, [this, graph] { CopyPicture(graph); });
    QAction* save = menu.addAction("Save picture...");
    save->setEnabled(drawn);
    connect(save, &QAction::triggered, this, [this, graph] { SavePicture(graph); });
    QAction* earlier = menu.addAction("Show earlier runs");
    earlier->setCheckable(true);
    earlier->setChecked(showEarlierRuns_);
    connect(earlier, &QAction::toggled, this, &FormLCR::SetShowEarlierRuns);
}

void FormLCR::CopyPicture(ResultTab graph)
{
    if (!graphHistory_.Current()) return;
    QGuiApplication::clipboard()->setImage(PictureImage(*Graph(graph), PictureFrame(graph)));
}

void FormLCR::SavePicture(ResultTab graph)
{
    if (!graphHistory_.Current()) return;
    const SaveChoice choice = environment_.desktop.AskSaveFile(
        kPictureFileFilter, SuggestedFileName() + (graph == kGvTab ? "-gv" : "-cv"));
    if (choice.path.empty()) return;
    const PictureFormat format = choice.type == static_cast<std::size_t>(PictureFormat::Svg)
                                     ? PictureFormat::Svg
                                     : PictureFormat::Png;
    const std::optional<std::string> fileName = ConfirmedFileName(
        environment_.desktop, choice.path, PictureExtension(format), "Save picture");
    if (!fileName) return;
    if (std::optional<std::string> failure =
            SavePictureFile(*fileName, *Graph(graph), PictureFrame(graph), format))
        environment_.desktop.ShowMessage(*failure);
}

void FormLCR::SetShowEarlierRuns(bool show)
{
    showEarlierRuns_ = show;
    WriteShowEarlierRuns(environment_.programFolder, show);
    RedrawGraphs();
}

void FormLCR::Command9_Click()
{
    stopRequested_ = true;
}

}  // namespace quillon
