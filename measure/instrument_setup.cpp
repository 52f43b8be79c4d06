#include "measure/instrument_setup.h"

#include "common/text_number.h"
#include "gpib/gpib_binding.h"

namespace quillon {

std::string ApertureCommand(std::optional<Integration> integration, int32_t averaging)
{
    if (!integration) return {};
    static constexpr const char* kPrefixes[] = {"APER SHORT,", "APER MED,", "APER LONG,"};
    return kPrefixes[static_cast<int>(*integration)] + std::to_string(averaging);
}

std::string FrequencyCommand(int32_t frequencyHertz)
{
    return "FREQ " + SignedDecimal(frequencyHertz) + "Hz";
}

InstrumentConnection SetUpInstrument(const InstrumentSettings& settings, Clock& clock)
{
    InstrumentConnection connection;
    GpibOpenDevice(settings.board, settings.address, 0, ni::T10s, 1, 0, connection.descriptor);
    // A run on a descriptor the driver refused would only time out later.
    if (connection.descriptor < 0 || (ibsta & ni::ERR)) return connection;
    connection.opened = true;

    const int16_t ud = connection.descriptor;
    GpibConfigure(ud, ni::IbcUnAddr, 1);
    const std::string aperture = ApertureCommand(settings.integration, settings.averaging);
    GpibClear(ud);
    clock.Sleep(kSetUpPauseMilliseconds);
    const std::string messages[] = {
        "DISP:PAGE MEAS",
        "DISP:LINE \"TESTING\"",
        "FUNC:IMP CPG",
        FrequencyCommand(settings.frequencyHertz),
        "VOLT " + settings.acLevel + "mV",
        "TRIG:SOUR BUS",
        "OUTP:HPOW ON",
        "FUNC:IMP:RANG:AUTO ON",
        aperture,
        "FUNC:SMON:VAC ON",
        "FUNC:SMON:IAC ON",
        "TRIG:DEL " + settings.triggerDelay,
        "BIAS:STAT ON",
        "*SRE 16",
    };
    for (const std::string& message : messages) {
        GpibWrite(ud, message);
        clock.Sleep(kSetUpPauseMilliseconds);
    }
    return connection;
}

}  // namespace quillon
