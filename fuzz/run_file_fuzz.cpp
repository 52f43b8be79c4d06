// Any bytes as the text of a run file: reading gives either runs or one
// problem, never both nor neither; a problem's line lies within the file;
// every run has points, finite ones, and a sweep for each point or none.
#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/run_file_reader.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    quillon::fuzz::FuzzInput input(data, size);
    const std::string text = input.Rest();
    const quillon::RunFileReading reading = quillon::ReadRunText("fuzz.txt", text);
    FUZZ_REQUIRE(reading.problem.has_value() != !reading.runs.empty());
    if (reading.problem) {
        const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        FUZZ_REQUIRE(reading.problem->file == "fuzz.txt");
        FUZZ_REQUIRE(reading.problem->line >= 0 && reading.problem->line <= lines);
        FUZZ_REQUIRE(!reading.problem->reason.empty());
        return 0;
    }
    for (const quillon::StoredRun& run : reading.runs) {
        FUZZ_REQUIRE(run.path == "fuzz.txt");
        FUZZ_REQUIRE(!run.points.empty());
        FUZZ_REQUIRE(run.legs.empty() || run.legs.size() == run.points.size());
        for (const quillon::MeasuredPoint& point : run.points)
            FUZZ_REQUIRE(std::isfinite(point.bias) && std::isfinite(point.capacitance) &&
                         std::isfinite(point.conductance));
        for (const quillon::SweepLeg& leg : run.legs) FUZZ_REQUIRE(leg.cycle >= 1);
        if (run.source == quillon::RunSource::OtherInstrument && run.frequencyHertz)
            FUZZ_REQUIRE(*run.frequencyHertz > 0 && std::isfinite(*run.frequencyHertz));
    }
    return 0;
}
