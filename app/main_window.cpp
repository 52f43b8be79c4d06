#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <filesystem>
#include <system_error>

#include "analysis/result_table.h"
#include "app/first_start_settings.h"
#include "app/fixed_window.h"
#include "app/pad_area_calculator.h"
#include "app/picture_box.h"
#include "app/query_window.h"
#include "app/settings_file.h"
#include "app/tab_control.h"
#include "app/widget_text.h"
#include "gpib/gpib_binding.h"
#include "platform/display_connection.h"

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
    : QWidget(parent), environment_(environment)
{
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
}

void FormLCR::BuildBottomRow()
{
    ui_.Label3 = Place(new QLabel("Progress Done/Total", this), 240, 5160, 2895, 255);

    // STATUS lies under START and is seen only while START is hidden.
    ui_.Frame4 = Place(new QGroupBox("STATUS", this), 120, 5520, 3015, 855);
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

    ui_.Frame2 = Place(new QGroupBox("AD Integration", page), 240, 3000, 2535, 855);
    ui_.Option2[0] = Place(new QRadioButton("Short", ui_.Frame2), 120, 240, 975, 255);
    ui_.Option2[1] = Place(new QRadioButton("Medium", ui_.Frame2), 1080, 240, 1215, 255);
    ui_.Option2[2] = Place(new QRadioButton("LONG", ui_.Frame2), 120, 480, 855, 255);

    ui_.Frame1 = Place(new QGroupBox("Pad Area (um2)", page), 240, 3960, 2535, 615);
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

    ui_.Frame3 = Place(new QGroupBox("GPIB Setting", page), 240, 3720, 2535, 975);
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
    for (auto [picture, scale] : {std::pair(ui_.Picture1, kCapacitanceStartScale),
                                  std::pair(ui_.Picture2, kConductanceStartScale)})
        picture->Scale(scale.left, scale.top, scale.right, scale.bottom);
}

std::string FormLCR::Text1(int index) const
{
    return ui_.Text1.at(static_cast<std::size_t>(index))->text().toStdString();
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
    for (std::size_t i = 0; i < stored.values.size(); ++i)
        ui_.Text1[i]->setText(QString::fromStdString(stored.values[i]));
    for (std::size_t j = 0; j < stored.checks.size(); ++j)
        ui_.Check1[j]->setChecked(stored.checks[j] == 1);
    ui_.Option2.at(static_cast<std::size_t>(stored.integration))->setChecked(true);
    ui_.RichTextBox1->clear();
    for (QLineEdit* readout : ui_.Text3) readout->clear();
}

void FormLCR::SaveSettings()
{
    WriteStoredSettings(environment_.programFolder, *this);
}

void FormLCR::SetRunning(bool running)
{
    running_ = running;
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
}

void FormLCR::Command1_Click()
{
    if (running_) return;
    const EndOfRunPass endOfRun = [this](SweepData& sweep, const RunTimes& times) {
        SummarizeRun(sweep, times);
    };
    runTimes_ = RunMeasurement(*this, sweep_, environment_, endOfRun).times;
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
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

void FormLCR::Command5_Click()
{
    if (!queryWindow_)
        queryWindow_ = new Test(environment_.desktop, ui_.Text1[kInstrumentAddress], running_);
    queryWindow_->show();
    queryWindow_->raise();
}

void FormLCR::Picture1_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float y)
{
    ui_.Text3[0]->setText(QString::fromStdString(VoltageReadout(x)));
    ui_.Text3[1]->setText(QString::fromStdString(CapacitanceReadout(y)));
}

void FormLCR::Picture2_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float y)
{
    ui_.Text3[2]->setText(QString::fromStdString(VoltageReadout(x)));
    ui_.Text3[3]->setText(QString::fromStdString(ConductanceReadout(y)));
}

void FormLCR::SummarizeRun(SweepData& sweep, const RunTimes& times)
{
    const RunSummary summary =
        quillon::SummarizeRun(sweep, times, Text1(kPadArea), ui_.List1->count(), analysis_);
    ui_.List1->addItem(QString::fromStdString(summary.runListEntry));
    if (summary.information) ui_.Label1->setText(WidgetText(*summary.information));
    if (summary.finishText) ui_.Label3->setText(QString::fromStdString(*summary.finishText));
    if (!summary.redrawGraphs) return;
    if (std::optional<Graphs> graphs = DrawGraphs(sweep)) ShowGraphs(*graphs);
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
    if (sweep_.ReadablePoints() == 0) return;
    const std::string chosen = environment_.desktop.AskSaveFileName(kDataFileFilter);
    if (chosen.empty()) return;
    const std::string fileName = DataFileName(chosen);
    // The dialog asked about the name it was given; the extension added
    // here may name another file that is already there.
    std::error_code unknown;
    if (fileName != chosen && std::filesystem::exists(fileName, unknown) &&
        !environment_.desktop.AskYesNo(ReplaceQuestion(fileName), "Save Data"))
        return;
    if (std::optional<std::string> failure = SaveDataFile(fileName, sweep_))
        environment_.desktop.ShowMessage(*failure);
}

void FormLCR::Command9_Click()
{
    stopRequested_ = true;
}

}  // namespace quillon
