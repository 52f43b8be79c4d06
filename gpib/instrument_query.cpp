#include "gpib/instrument_query.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "gpib/gpib_status_text.h"
#include "gpib/ni_global.h"

namespace quillon {

namespace {

constexpr int kPadListLength = 32;
constexpr int kPrimaryAddressCount = 30;
constexpr int kResultListLength = 31;
constexpr int16_t kFindLimit = 31;

bool StepFailed()
{
    return (ibsta & ni::ERR) != 0;
}

// Primary addresses 1 to 30, closed by NOADDR; the last entry stays 0.
std::vector<int16_t> PadList()
{
    std::vector<int16_t> pads(kPadListLength, 0);
    for (int i = 0; i < kPrimaryAddressCount; ++i)
        pads[static_cast<std::size_t>(i)] = static_cast<int16_t>(i + 1);
    pads[kPrimaryAddressCount] = kNoAddr16;
    return pads;
}

// A 488.2 reply ends in a newline, which is not shown. A receive that
// delivered nothing leaves nothing to cut.
std::string ReplyText(const std::string& buffer, int32_t received)
{
    const int32_t length = std::min<int32_t>(received, static_cast<int32_t>(buffer.size()));
    if (length <= 0) return {};
    return buffer.substr(0, static_cast<std::size_t>(length - 1));
}

// Everything between a failed step and the end of the run is skipped.
bool ReportIfFailed(QueryView& view, Desktop& desktop, const char* stepText)
{
    if (!StepFailed()) return false;
    ReportGpibError(desktop, stepText);
    view.EnableQuit(true);
    return true;
}

}  // namespace

void ClearReadings(QueryView& view)
{
    const int lines = view.ReadingCount();
    for (int i = 0; i < lines; ++i) view.RemoveFirstReading();
    if (const GpibDriver* driver = SelectedGpibDriver()) {
        const std::string notice = driver->ListNotice();
        if (!notice.empty()) view.AddReading(notice);
    }
    view.RefreshReadings();
}

void ReportGpibError(Desktop& desktop, const std::string& stepText)
{
    desktop.ShowMessage(stepText + DescribeFailedCall() + DescribeIbcnt() + "\r\r" + kQuittingText,
                        kErrorTitle, MessageIcon::Exclamation);
    GpibOnlineStatus(kQueryBoard, 0);
}

void RunQuery(QueryView& view, Desktop& desktop)
{
    view.EnableQuit(false);

    GpibSendIfc(kQueryBoard);
    if (ReportIfFailed(view, desktop, kSendIfcStep)) return;

    const std::vector<int16_t> padList = PadList();
    std::vector<int16_t> resultList(kResultListLength, 0);

    desktop.SetWaitCursor(true);
    view.AddReading(kFindingListenersLine);
    view.RefreshReadings();

    GpibFindListeners(kQueryBoard, padList, resultList, kFindLimit);
    if (StepFailed()) {
        desktop.SetWaitCursor(false);
        ReportIfFailed(view, desktop, kFindListenersStep);
        return;
    }
    desktop.SetWaitCursor(false);

    const int found = ibcnt;
    view.AddReading(kInstrumentsFoundLine + SignedDecimal(found));
    view.AddReading("");

    // A driver that claims more listeners than the list can hold must not
    // push the terminator out of it.
    const int terminator = std::clamp<int32_t>(ibcntl, 0, kResultListLength - 1);
    resultList[static_cast<std::size_t>(terminator)] = kNoAddr16;

    GpibClearList(kQueryBoard, resultList);
    if (ReportIfFailed(view, desktop, kClearDevicesStep)) return;

    GpibSendList(kQueryBoard, resultList, "*IDN?", ni::NLend);
    if (ReportIfFailed(view, desktop, kSendIdnStep)) return;
    // Left as the bus has always seen it; nothing reads its outcome.
    GpibSend(kQueryBoard, 1, "*idn?", ni::NULLend);

    bool meterFound = false;
    const int replies = std::min(found, terminator);
    for (int k = 0; k < replies; ++k) {
        const int16_t address = resultList[static_cast<std::size_t>(k)];
        std::string buffer(kReplyBufferLength, ' ');
        GpibReceive(kQueryBoard, address, buffer, ni::STOPend);
        if (ReportIfFailed(view, desktop, kReceiveStep)) return;

        const std::string reply = ReplyText(buffer, ibcntl);
        view.AddReading(reply);
        view.AddListener(address, reply);
        if (reply.find(kMeterModel) != std::string::npos) {
            view.SetMeterAddress(std::to_string(address));
            meterFound = true;
            view.AddReading(kMeterFoundLine);
            view.AddReading(kMeterAddressLine + SignedDecimal(address));
        }
        view.RefreshReadings();
    }

    if (!meterFound) desktop.ShowMessage(kMeterNotFoundMessage, {}, MessageIcon::None);

    GpibOnlineStatus(kQueryBoard, 0);
    if (ReportIfFailed(view, desktop, kOfflineStep)) return;

    view.EnableQuit(true);
}

void ClearAndRunQuery(QueryView& view, Desktop& desktop, bool measurementRunning)
{
    ClearReadings(view);
    if (measurementRunning) {
        view.AddReading(kMeasurementRunningLine);
        view.RefreshReadings();
        return;
    }
    RunQuery(view, desktop);
}

}  // namespace quillon
