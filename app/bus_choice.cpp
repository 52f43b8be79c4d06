#include "app/bus_choice.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include "common/text_number.h"
#include "platform/module_ini.h"

namespace quillon {

namespace {

constexpr const char* kPrologixPrefix = "prologix:";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool HasSeparator(const std::string& text)
{
    return text.find('/') != std::string::npos || text.find('\\') != std::string::npos;
}

// A value that can only mean a file: a folder in it, or a library's suffix.
bool LooksLikeLibraryFile(const std::string& value)
{
    const std::string lower = Lower(value);
    return HasSeparator(value) || EndsWith(lower, ".so") ||
           lower.find(".so.") != std::string::npos || EndsWith(lower, ".dll") ||
           EndsWith(lower, ".dylib");
}

bool IsAbsolutePath(const std::string& path)
{
    if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
    return path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// Reads keys of one section, noting every value it cannot use.
class SectionReader {
public:
    SectionReader(const ProgramFolder& folder, const char* section,
                  std::vector<std::string>& ignored)
        : folder_(folder), section_(section), ignored_(ignored)
    {
    }

    // No value for a missing or empty key. The profile reader has already
    // taken the blanks and tabs around the value away.
    std::optional<std::string> Text(const char* key) const
    {
        const std::string value = ReadIni(folder_, section_, key);
        if (value == kMissingValue || value.empty()) return std::nullopt;
        return value;
    }

    // A number (the whole value) within [low, high]; no value when the key is
    // missing or the value is not such a number.
    std::optional<double> Number(const char* key, double low, double high) const
    {
        const auto text = Text(key);
        if (!text) return std::nullopt;
        const auto number = WholeNumberOfText(*text);
        if (number && std::isfinite(*number) && *number >= low && *number <= high) return number;
        Ignore(key, *text);
        return std::nullopt;
    }

    // One of the words of `choices`, in any case; no value when the key is
    // missing or the value is none of them.
    template <typename T>
    std::optional<T> Choice(const char* key,
                            std::initializer_list<std::pair<const char*, T>> choices) const
    {
        const auto text = Text(key);
        if (!text) return std::nullopt;
        const std::string word = Lower(*text);
        for (const auto& [name, value] : choices)
            if (word == name) return value;
        Ignore(key, *text);
        return std::nullopt;
    }

    void Ignore(const char* key, const std::string& value) const
    {
        ignored_.push_back("[" + std::string(section_) + "] " + key + "=" + value);
    }

private:
    const ProgramFolder& folder_;
    const char* section_;
    std::vector<std::string>& ignored_;
};

void ReadDriver(const ProgramFolder& folder, BusConfiguration& configuration)
{
    const SectionReader gpib(folder, kGpibSection, configuration.ignoredValues);
    const auto value = gpib.Text("Driver");
    if (!value) return;
    const std::string word = Lower(*value);
    if (word == "auto") {
        configuration.driver = DriverSetting::Auto;
    } else if (word == "simulated") {
        configuration.driver = DriverSetting::Simulated;
    } else if (word == "linux-gpib") {
        configuration.driver = DriverSetting::LinuxGpib;
    } else if (word == "ni") {
        configuration.driver = DriverSetting::Ni;
    } else if (word.rfind(kPrologixPrefix, 0) == 0) {
        // "prologix: 10.0.0.5" is as good as "prologix:10.0.0.5".
        const std::string location(Trimmed(value->substr(std::strlen(kPrologixPrefix))));
        if (ParsePrologixLocation(location)) {
            configuration.driver = DriverSetting::Prologix;
            configuration.prologixLocation = location;
        } else {
            gpib.Ignore("Driver", *value);
        }
    } else if (LooksLikeLibraryFile(*value)) {
        configuration.driver = DriverSetting::LibraryFile;
        configuration.libraryPath =
            HasSeparator(*value) && !IsAbsolutePath(*value) ? folder.Path() + "/" + *value : *value;
    } else {
        gpib.Ignore("Driver", *value);
    }
}

// How the interface traps spread over the gap and answer the signal; the
// defaults keep the single level of uniform density the simulator always had.
void ReadTrapDistribution(const SectionReader& simulator, MosDevice& device)
{
    if (const auto response = simulator.Choice<TrapResponse>(
            "TrapResponse",
            {{"level", TrapResponse::SingleLevel}, {"continuum", TrapResponse::Continuum}}))
        device.trapResponse = *response;
    if (const auto edge = simulator.Number("DitEdgePerCm2eV", 0.0, 1e15))
        device.interfaceTrapEdgeDensity = *edge;
    if (const auto width = simulator.Number("DitEdgeWidthEV", 0.01, 1.0))
        device.interfaceTrapEdgeWidthEv = *width;
    if (const auto crossSection = simulator.Number("TrapCrossSectionCm2", 1e-22, 1e-10))
        device.trapCaptureCrossSectionSquareCm = *crossSection;
    if (const auto slope = simulator.Number("TrapCrossSectionDecadesPerEV", -20.0, 20.0))
        device.trapCrossSectionDecadesPerEv = *slope;
}

void ReadSimulator(const ProgramFolder& folder, BusConfiguration& configuration)
{
    const SectionReader simulator(folder, kSimulatorSection, configuration.ignoredValues);
    SimulatedLabSettings& lab = configuration.simulator;
    MosDevice& device = lab.device;

    if (const auto address = simulator.Number("Address", 1, 30)) {
        if (*address == std::floor(*address))
            lab.meterAddress = static_cast<int>(*address);
        else
            simulator.Ignore("Address", *simulator.Text("Address"));
    }

    if (const auto pType = simulator.Choice<bool>("Substrate", {{"p", true}, {"n", false}}))
        device.pTypeSubstrate = *pType;

    if (const auto oxideNm = simulator.Number("OxideNm", 0.5, 1000.0))
        device.oxideThicknessMetres = *oxideNm * 1e-9;
    if (const auto doping = simulator.Number("DopingPerCm3", 1e12, 1e20))
        device.dopingPerCubicCm = *doping;
    if (const auto areaUm2 = simulator.Number("AreaUm2", 1.0, 1e10))
        device.padAreaSquareMetres = *areaUm2 * 1e-12;
    if (const auto flatBand = simulator.Number("FlatBandV", -40.0, 40.0))
        device.flatBandVolts = *flatBand;
    if (const auto seriesOhm = simulator.Number("SeriesOhm", 0.0, 1e6))
        device.seriesResistanceOhms = *seriesOhm;
    if (const auto trapDensity = simulator.Number("DitPerCm2eV", 0.0, 1e14))
        device.interfaceTrapDensity = *trapDensity;
    if (const auto hysteresis = simulator.Number("HysteresisV", -10.0, 10.0))
        device.hysteresisVolts = *hysteresis;
    if (const auto timeScale = simulator.Number("TimeScale", 0.0, 100.0))
        lab.timeScale = *timeScale;
    ReadTrapDistribution(simulator, device);

    if (const auto fault = simulator.Choice<SimulatedMeterFault>(
            "Fault", {{"none", SimulatedMeterFault::None},
                      {"absent", SimulatedMeterFault::Absent},
                      {"no-srq", SimulatedMeterFault::NoServiceRequest},
                      {"overflow", SimulatedMeterFault::Overflow},
                      {"short-reply", SimulatedMeterFault::ShortReply}}))
        lab.fault = *fault;
}

// The probe station in front of the simulated device: none unless asked for.
void ReadProbeFixture(const ProgramFolder& folder, BusConfiguration& configuration)
{
    const SectionReader simulator(folder, kSimulatorSection, configuration.ignoredValues);
    ProbeFixture& fixture = configuration.simulator.fixture;
    if (const auto strayPf = simulator.Number("StrayPf", 0.0, 1e6))
        fixture.strayFarads = *strayPf * 1e-12;
    if (const auto strayUs = simulator.Number("StrayUs", 0.0, 1e6))
        fixture.straySiemens = *strayUs * 1e-6;
    if (const auto fixtureOhm = simulator.Number("FixtureOhm", 0.0, 1e6))
        fixture.seriesOhms = *fixtureOhm;
    if (const auto fixtureNh = simulator.Number("FixtureNh", 0.0, 1e6))
        fixture.seriesHenries = *fixtureNh * 1e-9;
    if (const auto cableM = simulator.Number("CableM", 0.0, 100.0)) fixture.cableMetres = *cableM;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : std::string(kCrLf)) + line;
    return text;
}

}  // namespace

ProbeMover SimulatedProbeMover(Simulated4284A& meter)
{
    return [&meter](ProbePlacement placement) { meter.SetProbePosition(placement); };
}

BusConfiguration ReadBusConfiguration(const ProgramFolder& folder)
{
    BusConfiguration configuration;
    ReadDriver(folder, configuration);
    ReadSimulator(folder, configuration);
    ReadProbeFixture(folder, configuration);
    return configuration;
}

GpibDriver& ChosenDriver(ChosenBus& bus)
{
    if (bus.library) return *bus.library;
    if (bus.prologix) return *bus.prologix;
    if (bus.unusable) return *bus.unusable;
    return *bus.lab.bus;
}

ChosenBus BuildBus(const BusConfiguration& configuration,
                   const std::vector<DriverCandidate>& candidates, Clock& clock,
                   const PrologixTimeouts& prologixTimeouts)
{
    ChosenBus chosen;
    if (!configuration.ignoredValues.empty()) {
        std::vector<std::string> lines{std::string(kSettingsFileName) +
                                       ": these values were not understood; their defaults "
                                       "are used instead:"};
        lines.insert(lines.end(), configuration.ignoredValues.begin(),
                     configuration.ignoredValues.end());
        chosen.messages.push_back(Lines(lines));
    }

    std::vector<std::string> refusals;
    auto tryLoad = [&](const std::string& path, std::optional<DriverFamily> family,
                       bool reportUnopened) {
        DriverLibraryLoad load = LoadDriverLibrary(path, family);
        if (load.driver) {
            chosen.library = std::move(load.driver);
            return true;
        }
        // Under auto a library that is not there is simply not installed.
        if (load.opened || reportUnopened) refusals.push_back(load.refusal);
        return false;
    };

    switch (configuration.driver) {
        case DriverSetting::Simulated:
            break;
        case DriverSetting::Auto:
            for (const DriverCandidate& candidate : candidates)
                if (tryLoad(candidate.fileName, candidate.family, false)) break;
            break;
        case DriverSetting::LinuxGpib:
        case DriverSetting::Ni: {
            const DriverFamily family = configuration.driver == DriverSetting::LinuxGpib
                                            ? DriverFamily::LinuxGpib
                                            : DriverFamily::Ni;
            const bool known =
                std::any_of(candidates.begin(), candidates.end(),
                            [&](const DriverCandidate& c) { return c.family == family; });
            if (!known)
                refusals.push_back("No " + DriverFamilyName(family) +
                                   " driver library is known on this system.");
            for (const DriverCandidate& candidate : candidates)
                if (candidate.family == family && tryLoad(candidate.fileName, family, true)) break;
            break;
        }
        case DriverSetting::LibraryFile:
            tryLoad(configuration.libraryPath, std::nullopt, true);
            break;
        case DriverSetting::Prologix: {
            PrologixOpening opening =
                OpenPrologixAdapter(configuration.prologixLocation, clock, prologixTimeouts);
            if (opening.driver)
                chosen.prologix = std::move(opening.driver);
            else
                refusals.push_back(opening.refusal);
            break;
        }
    }

    // Only auto and simulated may end on the simulated meter: where the
    // settings name a driver, data from no instrument must not pass for a
    // measurement.
    const bool driverNamed = configuration.driver != DriverSetting::Auto &&
                             configuration.driver != DriverSetting::Simulated;
    if (chosen.library || chosen.prologix) {
        if (!refusals.empty()) chosen.messages.push_back(Lines(refusals));
    } else if (driverNamed) {
        chosen.unusable = std::make_unique<UnusableBus>(Lines(refusals));
        refusals.push_back(kUnusableBusNotice);
        chosen.messages.push_back(Lines(refusals));
    } else {
        chosen.lab = MakeSimulatedLab(clock, configuration.simulator);
        if (chosen.lab.meter) chosen.probeMover = SimulatedProbeMover(*chosen.lab.meter);
        if (!refusals.empty()) {
            refusals.push_back(kSimulatedBusNotice);
            chosen.messages.push_back(Lines(refusals));
        }
    }
    return chosen;
}

ChosenBus ChooseBus(const ProgramFolder& folder, Clock& clock)
{
    return BuildBus(ReadBusConfiguration(folder), AutoDriverCandidates(), clock);
}

}  // namespace quillon
