// Which GPIB the program talks to, as the settings file "Quillon.ini" in the
// program's folder chooses it: section [gpib] key Driver (auto, simulated,
// linux-gpib, ni, the path of a driver library file, or a Prologix adapter
// as prologix:HOST[:PORT] or prologix:/dev/ttyUSB0), and section
// [simulator] for the simulated meter and the device under it. Read once at
// start-up; missing keys take their defaults and nothing is ever written.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bus/driver_library.h"
#include "bus/gpib_driver.h"
#include "bus/prologix_driver.h"
#include "bus/unusable_bus.h"
#include "measure/meter_correction.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "sim/simulated_lab.h"

namespace quillon {

inline constexpr const char* kGpibSection = "gpib";
inline constexpr const char* kSimulatorSection = "simulator";

enum class DriverSetting {
    Auto,  // linux-gpib, then NI-488.2, then the simulated bus
    Simulated,
    LinuxGpib,
    Ni,
    LibraryFile,  // the library named by BusConfiguration::libraryPath
    Prologix,     // the adapter named by BusConfiguration::prologixLocation
};

struct BusConfiguration {
    DriverSetting driver = DriverSetting::Auto;
    // For LibraryFile: a path relative to the program's folder is made
    // absolute; a bare file name is left to the system's library search.
    std::string libraryPath;
    // For Prologix: what follows "prologix:", HOST[:PORT] or a device path.
    std::string prologixLocation;
    SimulatedLabSettings simulator;
    // "[section] Key=value", one for each value that was not understood
    // and was replaced by its default.
    std::vector<std::string> ignoredValues;
};

BusConfiguration ReadBusConfiguration(const ProgramFolder& folder);

// The bus the program runs on: a loaded driver library, a Prologix adapter,
// none when the driver the settings name cannot be used, or else (for auto
// and simulated) the simulated lab built from the [simulator] section.
struct ChosenBus {
    std::unique_ptr<DriverLibrary> library;
    std::unique_ptr<PrologixDriver> prologix;
    std::unique_ptr<UnusableBus> unusable;
    SimulatedLab lab;
    // Moves the probes of the simulated lab at the Correction window's
    // prompts; empty for a real bus, where the user moves them.
    ProbeMover probeMover;
    // Messages for the user at start-up, one message box each: values of the
    // settings file that were ignored; a refused driver library (or an
    // adapter that could not be reached) with the reason, followed by the
    // notice of what is measured instead: the simulated meter under auto,
    // nothing where the settings named the driver.
    std::vector<std::string> messages;
};

// Acknowledging a prompt of the Correction window moves the simulated probes.
ProbeMover SimulatedProbeMover(Simulated4284A& meter);

// The driver to hand to SelectGpibDriver; it lives as long as the ChosenBus.
GpibDriver& ChosenDriver(ChosenBus& bus);

// `candidates` are the libraries tried for auto (all of them, in order) and
// for linux-gpib or ni (those of that family).
ChosenBus BuildBus(const BusConfiguration& configuration,
                   const std::vector<DriverCandidate>& candidates, Clock& clock,
                   const PrologixTimeouts& prologixTimeouts = {});

// Reads the settings file and builds the bus, trying the system's libraries.
ChosenBus ChooseBus(const ProgramFolder& folder, Clock& clock);

inline constexpr const char* kSimulatedBusNotice =
    "Quillon runs on the simulated bus: no real instrument is measured.";
inline constexpr const char* kUnusableBusNotice =
    "Nothing is measured until Driver in section [gpib] of Quillon.ini names a GPIB that can be "
    "used, and Quillon is started again.";

}  // namespace quillon
