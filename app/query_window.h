// The instrument query window "488.2 Query": lists every listener on the
// bus of board 0 with its identification and puts the address of a 4284A
// into the main window's 4284A box. Creating the window runs the first
// query; "Run" runs it again; "Quit" closes and destroys the window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "gpib/instrument_query.h"
#include "platform/desktop.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace quillon {

inline constexpr const char* kQueryWindowCaption = "488.2 Query";

// The window's controls by name. The window's widgets own them.
struct TestControls {
    QLabel* Readings = nullptr;
    QListWidget* ReadingsList = nullptr;
    QPushButton* RunRepeat = nullptr;
    QPushButton* QuitButton = nullptr;
    QLabel* status = nullptr;
};

// Told the address and the "*IDN?" reply of every 4284A a query finds.
using MeterIdentifiedHandler = std::function<void(int address, const std::string& reply)>;

class Test final : public QWidget, private QueryView {
    Q_OBJECT

public:
    // The window deletes itself when it closes. Constructing it loads it:
    // the query runs at once, before the window is first shown, unless
    // `measurementRunning` says a run holds the bus. `addressBox` is the main
    // window's 4284A address box; it may go away before this window does.
    // `meterIdentified` must outlive the window.
    Test(Desktop& desktop, QLineEdit* addressBox, bool measurementRunning,
         MeterIdentifiedHandler meterIdentified = {}, QWidget* parent = nullptr);

    const TestControls& Controls() const { return ui_; }

    void RunRepeat_Click();
    void QuitButton_Click();

    // While a measurement run is in progress "Run" is disabled. The end of
    // the run enables it again without starting a query.
    void SetMeasurementRunning(bool running);
    bool MeasurementRunning() const { return measurementRunning_; }

private:
    void Form_Load();

    void AddReading(const std::string& line) override;
    void RefreshReadings() override;
    int ReadingCount() const override;
    void RemoveFirstReading() override;
    void EnableQuit(bool enabled) override;
    void SetMeterAddress(const std::string& address) override;
    void AddListener(int address, const std::string& identification) override;

    Desktop& desktop_;
    QPointer<QLineEdit> addressBox_;
    bool measurementRunning_;
    MeterIdentifiedHandler meterIdentified_;
    TestControls ui_;
};

// MS PGothic 9 pt, the face the window was drawn with, or a metric-alike
// Japanese gothic where it is missing.
QFont QueryWindowFont();

}  // namespace quillon
