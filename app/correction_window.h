// The Correction window: the meter's cable length, its open and short
// correction measured with the probes lifted and on the short pad (over the
// meter's preset frequencies or at the run's frequency alone), each switched
// on or off, and the meter's state read back and shown with the time each
// standard was last measured. Modeless, one at most; refused while a run is
// being measured.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "measure/meter_correction.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/program_folder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quillon {

inline constexpr const char* kCorrectionWindowCaption = "Correction";
inline constexpr const char* kCorrectionDuringRunMessage =
    "A run is being measured: the meter's correction can be changed when it has ended.";
inline constexpr const char* kRunDuringCorrectionMessage =
    "The meter is measuring a correction: START can measure when it has finished or been "
    "cancelled.";

// Where the correction goes and at what frequency a spot correction and the
// check of a short are made: the main window's board, address and
// frequency; or the message why they cannot be used.
struct CorrectionTarget {
    MeterLocation meter;
    double frequencyHertz = 100000.0;
};
using CorrectionTargetOr = std::variant<CorrectionTarget, std::string>;

// What the window needs of the main window.
struct CorrectionHooks {
    std::function<CorrectionTargetOr()> target;
    std::function<bool()> running;
    // The state as read back, for the records of the runs that follow.
    std::function<void(const MeterLocation&, const CorrectionState&)> stateRead;
    // Empty on a real bus.
    ProbeMover probeMover;
};

class CorrectionWindow final : public QWidget {
    Q_OBJECT

public:
    CorrectionWindow(Clock& clock, const ProgramFolder& folder, Desktop& desktop,
                     CorrectionHooks hooks, QWidget* parent = nullptr);

    // Each of the window's steps, as its buttons do them.
    void SetCable();
    void Measure(CorrectionStandard standard);
    void Switch(CorrectionStandard standard, bool on);
    void ReadBack();
    // Raised by Cancel, looked at while the meter measures a standard.
    void RequestCancel() { cancelRequested_ = true; }

    QComboBox* CableBox() const { return cable_; }
    QRadioButton* SpotChoice() const { return spot_; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* ShortButton() const { return short_; }
    QPushButton* CancelButton() const { return cancel_; }
    QCheckBox* OpenOnBox() const { return openOn_; }
    QCheckBox* ShortOnBox() const { return shortOn_; }
    QLabel* StateLabel() const { return state_; }
    QLabel* ProgressLabel() const { return progress_; }
    bool Busy() const { return busy_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The target, or no value after saying why there is none.
    std::optional<CorrectionTarget> Target();
    void Show(const CorrectionOutcome& outcome, const MeterLocation& meter);
    void SetBusy(bool busy);

    Clock& clock_;
    const ProgramFolder& folder_;
    Desktop& desktop_;
    CorrectionHooks hooks_;
    QComboBox* cable_ = nullptr;
    QPushButton* setCable_ = nullptr;
    QRadioButton* allFrequencies_ = nullptr;
    QRadioButton* spot_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* short_ = nullptr;
    QCheckBox* openOn_ = nullptr;
    QCheckBox* shortOn_ = nullptr;
    QPushButton* readBack_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* progress_ = nullptr;
    bool busy_ = false;
    bool cancelRequested_ = false;
    // The cable length the meter last reported, once read.
    std::optional<int> meterCableMetres_;
};

// The Correction window of the main window: made when first asked for.
class CorrectionWindowKeeper {
public:
    CorrectionWindowKeeper(Clock& clock, const ProgramFolder& folder, Desktop& desktop)
        : clock_(clock), folder_(folder), desktop_(desktop)
    {
    }
    ~CorrectionWindowKeeper();
    CorrectionWindowKeeper(const CorrectionWindowKeeper&) = delete;
    CorrectionWindowKeeper& operator=(const CorrectionWindowKeeper&) = delete;

    void SetHooks(CorrectionHooks hooks) { hooks_ = std::move(hooks); }
    // Opens the window, reading the meter's state, or raises the open one;
    // refused while a run is being measured.
    void Show();
    CorrectionWindow* Window() const;
    // True while the meter measures a standard for the window.
    bool Busy() const { return window_ && window_->Busy(); }

private:
    Clock& clock_;
    const ProgramFolder& folder_;
    Desktop& desktop_;
    CorrectionHooks hooks_;
    QPointer<CorrectionWindow> window_;
};

}  // namespace quillon
