#include "app/correction_settings.h"

#include "common/date_text.h"
#include "common/text_number.h"
#include "platform/module_ini.h"

namespace quillon {

namespace {

constexpr const char* kTimePattern = "yyyy-mm-dd hh:nn:ss";

std::optional<std::tm> TimeOf(const ProgramFolder& folder, const char* key)
{
    return DateOfText(Trimmed(ReadIni(folder, kCorrectionSection, key)), kTimePattern);
}

}  // namespace

CorrectionTimes ReadCorrectionTimes(const ProgramFolder& folder)
{
    return {TimeOf(folder, kLastOpenKey), TimeOf(folder, kLastShortKey)};
}

void WriteCorrectionTime(const ProgramFolder& folder, CorrectionStandard standard,
                         const std::tm& when)
{
    WriteIni(folder, FormatDate(when, kTimePattern), kCorrectionSection,
             standard == CorrectionStandard::Open ? kLastOpenKey : kLastShortKey);
}

CorrectionState WithCorrectionTimes(CorrectionState state, const ProgramFolder& folder)
{
    const CorrectionTimes times = ReadCorrectionTimes(folder);
    state.lastOpen = times.lastOpen;
    state.lastShort = times.lastShort;
    return state;
}

CorrectionOutcome MeasureAndKeepTime(const ProgramFolder& folder, Clock& clock,
                                     const MeterLocation& meter, CorrectionStandard standard,
                                     CorrectionSpan span, double frequencyHertz,
                                     const ProbeMover& mover, const CorrectionProgress& progress)
{
    if (mover) mover(PlacementFor(standard));
    const CorrectionOutcome outcome =
        MeasureStandard(meter, standard, span, frequencyHertz, clock, progress);
    if (mover) mover(ProbePlacement::OnDevice);
    if (outcome.done) WriteCorrectionTime(folder, standard, clock.LocalTime());
    return outcome;
}

}  // namespace quillon
