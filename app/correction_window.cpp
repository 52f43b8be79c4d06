#include "app/correction_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cctype>

#include "app/correction_settings.h"
#include "app/fixed_window.h"
#include "common/text_number.h"

namespace quillon {

namespace {

QString StateText(const CorrectionState& state)
{
    return QString::fromStdString("The meter: " + CorrectionStateText(state));
}

}  // namespace

CorrectionWindow::CorrectionWindow(Clock& clock, const ProgramFolder& folder, Desktop& desktop,
                                   CorrectionHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window),
      clock_(clock),
      folder_(folder),
      desktop_(desktop),
      hooks_(std::move(hooks))
{
    setWindowTitle(kCorrectionWindowCaption);
    setFont(WindowFont());

    cable_ = new QComboBox(this);
    for (const int metres : kCableLengthsMetres)
        cable_->addItem(QString::number(metres) + " m", metres);
    setCable_ = new QPushButton("Set", this);
    auto* cableRow = new QHBoxLayout;
    cableRow->addWidget(new QLabel("1. Cable length", this));
    cableRow->addWidget(cable_);
    cableRow->addWidget(setCable_);
    cableRow->addStretch();

    allFrequencies_ = new QRadioButton("All frequencies (about 90 s each)", this);
    spot_ = new QRadioButton("Spot, at the run's frequency (seconds)", this);
    allFrequencies_->setChecked(true);
    open_ = new QPushButton("Open", this);
    short_ = new QPushButton("Short", this);
    auto* standards = new QGridLayout;
    standards->addWidget(allFrequencies_, 0, 0);
    standards->addWidget(spot_, 1, 0);
    standards->addWidget(new QLabel("2. Probes lifted:", this), 2, 0);
    standards->addWidget(open_, 2, 1);
    standards->addWidget(new QLabel("3. Probes on the short pad:", this), 3, 0);
    standards->addWidget(short_, 3, 1);

    openOn_ = new QCheckBox("Open correction on", this);
    shortOn_ = new QCheckBox("Short correction on", this);
    readBack_ = new QPushButton("Read back", this);
    auto* switches = new QHBoxLayout;
    switches->addWidget(openOn_);
    switches->addWidget(shortOn_);
    switches->addStretch();
    switches->addWidget(readBack_);

    state_ = new QLabel("The meter: not read", this);
    state_->setWordWrap(true);
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QLabel(this);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setEnabled(false);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(cableRow);
    layout->addLayout(standards);
    layout->addLayout(switches);
    layout->addWidget(state_);
    layout->addLayout(progressRow);

    connect(setCable_, &QPushButton::clicked, this, &CorrectionWindow::SetCable);
    connect(open_, &QPushButton::clicked, this, [this] { Measure(CorrectionStandard::Open); });
    connect(short_, &QPushButton::clicked, this, [this] { Measure(CorrectionStandard::Short); });
    connect(openOn_, &QCheckBox::clicked, this,
            [this](bool on) { Switch(CorrectionStandard::Open, on); });
    connect(shortOn_, &QCheckBox::clicked, this,
            [this](bool on) { Switch(CorrectionStandard::Short, on); });
    connect(readBack_, &QPushButton::clicked, this, &CorrectionWindow::ReadBack);
    connect(cancel_, &QPushButton::clicked, this, &CorrectionWindow::RequestCancel);
}

std::optional<CorrectionTarget> CorrectionWindow::Target()
{
    if (busy_) return std::nullopt;
    if (hooks_.running && hooks_.running()) {
        desktop_.ShowMessage(kCorrectionDuringRunMessage);
        return std::nullopt;
    }
    const CorrectionTargetOr target =
        hooks_.target ? hooks_.target() : CorrectionTargetOr(CorrectionTarget{});
    if (const auto* why = std::get_if<std::string>(&target)) {
        desktop_.ShowMessage(*why);
        return std::nullopt;
    }
    return std::get<CorrectionTarget>(target);
}

void CorrectionWindow::Show(const CorrectionOutcome& outcome, const MeterLocation& meter)
{
    if (outcome.meterState) {
        const CorrectionState state = WithCorrectionTimes(*outcome.meterState, folder_);
        state_->setText(StateText(state));
        openOn_->setChecked(state.openOn);
        shortOn_->setChecked(state.shortOn);
        meterCableMetres_ = state.cableMetres;
        const int index = cable_->findData(state.cableMetres);
        if (index >= 0) cable_->setCurrentIndex(index);
        if (hooks_.stateRead) hooks_.stateRead(meter, state);
    } else {
        state_->setText("The meter: not read");
    }
    if (outcome.failure) desktop_.ShowMessage(*outcome.failure);
}

void CorrectionWindow::SetBusy(bool busy)
{
    busy_ = busy;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{cable_, setCable_, allFrequencies_, spot_, open_, short_,
                                         openOn_, shortOn_, readBack_})
        widget->setEnabled(!busy);
    cancel_->setEnabled(busy);
    desktop_.SetWaitCursor(busy);
}

void CorrectionWindow::SetCable()
{
    const std::optional<CorrectionTarget> target = Target();
    if (!target) return;
    const int metres = cable_->currentData().toInt();
    const std::optional<int> before = meterCableMetres_;
    SetBusy(true);
    const CorrectionOutcome outcome = SetCableLength(target->meter, metres, clock_);
    SetBusy(false);
    // An open and a short measured through other cables no longer fit.
    progress_->setText(outcome.done && before && *before != metres
                           ? "Cable length changed: measure the open and the short again."
                           : "");
    Show(outcome, target->meter);
}

void CorrectionWindow::Switch(CorrectionStandard standard, bool on)
{
    const std::optional<CorrectionTarget> target = Target();
    if (!target) return;
    SetBusy(true);
    const CorrectionOutcome outcome = SwitchCorrection(target->meter, standard, on, clock_);
    SetBusy(false);
    Show(outcome, target->meter);
}

void CorrectionWindow::ReadBack()
{
    const std::optional<CorrectionTarget> target = Target();
    if (!target) return;
    SetBusy(true);
    const CorrectionOutcome outcome = ReadCorrectionState(target->meter, clock_);
    SetBusy(false);
    Show(outcome, target->meter);
}

void CorrectionWindow::Measure(CorrectionStandard standard)
{
    const std::optional<CorrectionTarget> target = Target();
    if (!target) return;
    std::string name = StandardName(standard);
    const std::string prompt =
        std::string(PromptFor(standard)) + ", then press Yes to measure the " + name + ".";
    if (!desktop_.AskYesNo(prompt, kCorrectionWindowCaption)) return;

    const bool spot = spot_->isChecked();
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    const std::string about = spot ? "" : " of about 90 s";
    cancelRequested_ = false;
    SetBusy(true);
    progress_->setText(QString::fromStdString(name + ": measuring"));
    // Where the bench moves its own probes, the answer is where they move.
    const CorrectionOutcome outcome =
        MeasureAndKeepTime(folder_, clock_, target->meter, standard,
                           spot ? CorrectionSpan::Spot : CorrectionSpan::AllFrequencies,
                           target->frequencyHertz, hooks_.probeMover, [&](uint32_t elapsed) {
                               progress_->setText(QString::fromStdString(
                                   name + ": " + std::to_string(elapsed / 1000) + " s" + about));
                               QApplication::processEvents();
                               return !cancelRequested_;
                           });
    SetBusy(false);
    progress_->setText(QString::fromStdString(name + (outcome.done ? ": done. " : ": not done. ") +
                                              kLandOnDevicePrompt + " before the run."));
    Show(outcome, target->meter);
}

void CorrectionWindow::closeEvent(QCloseEvent* event)
{
    // The window closes once the meter has been cleared and read back.
    if (busy_) {
        cancelRequested_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

CorrectionWindowKeeper::~CorrectionWindowKeeper()
{
    delete window_;
}

void CorrectionWindowKeeper::Show()
{
    if (hooks_.running && hooks_.running()) {
        desktop_.ShowMessage(kCorrectionDuringRunMessage);
        return;
    }
    const bool fresh = !window_ || !window_->isVisible();
    if (!window_) window_ = new CorrectionWindow(clock_, folder_, desktop_, hooks_);
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (fresh) window_->ReadBack();
}

CorrectionWindow* CorrectionWindowKeeper::Window() const
{
    if (window_ && window_->isVisible()) return window_;
    return nullptr;
}

}  // namespace quillon
