// The instrument query: every listener on the bus of board 0 is cleared and
// asked "*IDN?", each reply is listed, and the address of a 4284A among
// them is handed to the main window. The window that shows the list is
// reached only through QueryView, so the query runs without widgets too.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace quillon {

// What the query needs of the window that shows it.
class QueryView {
public:
    virtual ~QueryView() = default;
    // Appends one line at the end of the readings list.
    virtual void AddReading(const std::string& line) = 0;
    // Redraws the list at once: the query does not return to the event loop
    // until it has finished.
    virtual void RefreshReadings() = 0;
    virtual int ReadingCount() const = 0;
    virtual void RemoveFirstReading() = 0;
    virtual void EnableQuit(bool enabled) = 0;
    // The main window's 4284A address box receives the address found.
    virtual void SetMeterAddress(const std::string& address) = 0;
    // Each listener's reply to "*IDN?" with its address: a listing needs
    // both, and the window keeps the 4284A's for the records of later runs.
    virtual void AddListener(int /*address*/, const std::string& /*identification*/) {}
};

inline constexpr int kQueryBoard = 0;

inline constexpr const char* kFindingListenersLine = "Finding all listeners on the bus...";
inline constexpr const char* kInstrumentsFoundLine = "Number of instruments found = ";
inline constexpr const char* kMeterFoundLine = "\tLCR meter was found";
inline constexpr const char* kMeterAddressLine = "\tThe address is ";
inline constexpr const char* kMeterModel = "4284A";
inline constexpr const char* kMeterNotFoundMessage = "4284A was not found";
inline constexpr const char* kErrorTitle = "Error";
inline constexpr const char* kQuittingText = "I'm quitting!";
inline constexpr const char* kMeasurementRunningLine =
    "A measurement is running: the bus is not queried until it ends.";

// The report texts of the steps that can fail.
inline constexpr const char* kSendIfcStep = "Error sending IFC.";
inline constexpr const char* kFindListenersStep = "Error finding all listeners.";
inline constexpr const char* kClearDevicesStep = "Error in clearing the devices. ";
inline constexpr const char* kSendIdnStep = "Error sending '*IDN?'. ";
inline constexpr const char* kReceiveStep = "Error in receiving response to '*IDN?'. ";
inline constexpr const char* kOfflineStep = "Error putting board offline.";

// The most bytes one reply may bring.
inline constexpr int kReplyBufferLength = 50;

// Empties the readings list. When the selected bus has a notice (a simulated
// bus says so), that notice becomes the list's first line.
void ClearReadings(QueryView& view);

// One query run on board 0. "Quit" is disabled for the whole run. A failed
// step is reported and ends the run, so that no later step works with the
// counts of a failed one.
void RunQuery(QueryView& view, Desktop& desktop);

// Shows the failed step with the bus status in an error message and takes
// board 0 offline.
void ReportGpibError(Desktop& desktop, const std::string& stepText);

// What loading the window and "Run" do: a fresh list and a query run. While
// a measurement run holds the bus the list only says so, and nothing at all
// reaches the bus.
void ClearAndRunQuery(QueryView& view, Desktop& desktop, bool measurementRunning);

}  // namespace quillon
