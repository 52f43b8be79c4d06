// Any bytes as the meter's reply buffer are read without a fault, and a reply
// in the meter's own number format gives back its C and G to the digits the
// format carries.
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_target.h"
#include "measure/point_acquisition.h"
#include "sim/meter_arguments.h"

namespace {

// The range the meter's two-digit exponent covers.
bool Representable(double value)
{
    return value == 0 ||
           (std::isfinite(value) && std::fabs(value) >= 1e-99 && std::fabs(value) < 9.99999e99);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    quillon::fuzz::FuzzInput input(data, size);
    const double capacitance = input.Double();
    const double conductance = input.Double();
    const std::string raw = input.Text(64);

    const quillon::PointReading anyBytes = quillon::ParseReply(raw);
    FUZZ_REQUIRE(!std::isnan(anyBytes.capacitance) && !std::isnan(anyBytes.conductance));

    if (!Representable(capacitance) || !Representable(conductance)) return 0;
    const std::string reply =
        quillon::MeterNumberField(capacitance) + "," + quillon::MeterNumberField(conductance);
    FUZZ_REQUIRE(reply.size() == quillon::kReplyLength);
    const quillon::PointReading reading = quillon::ParseReply(reply);
    FUZZ_REQUIRE(std::fabs(reading.capacitance - capacitance) <= std::fabs(capacitance) * 5e-6);
    FUZZ_REQUIRE(std::fabs(reading.conductance - conductance) <= std::fabs(conductance) * 5e-6);
    return 0;
}
