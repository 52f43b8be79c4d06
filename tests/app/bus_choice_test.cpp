#include "app/bus_choice.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "app/command_line.h"
#include "app/command_line_run.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/instrument_setup.h"
#include "measure/measurement_run.h"
#include "measure/point_acquisition.h"
#include "sim/simulated_prologix_adapter.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/shared_virtual_clock.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

using testing::TempFolder;

constexpr const char* kIni = "Quillon.ini";

void ExpectSameDevice(const MosDevice& actual, const MosDevice& expected)
{
    EXPECT_EQ(actual.pTypeSubstrate, expected.pTypeSubstrate);
    EXPECT_DOUBLE_EQ(actual.oxideThicknessMetres, expected.oxideThicknessMetres);
    EXPECT_DOUBLE_EQ(actual.dopingPerCubicCm, expected.dopingPerCubicCm);
    EXPECT_DOUBLE_EQ(actual.padAreaSquareMetres, expected.padAreaSquareMetres);
    EXPECT_DOUBLE_EQ(actual.flatBandVolts, expected.flatBandVolts);
    EXPECT_DOUBLE_EQ(actual.seriesResistanceOhms, expected.seriesResistanceOhms);
    EXPECT_DOUBLE_EQ(actual.interfaceTrapDensity, expected.interfaceTrapDensity);
    EXPECT_DOUBLE_EQ(actual.hysteresisVolts, expected.hysteresisVolts);
    EXPECT_EQ(actual.trapResponse, expected.trapResponse);
    EXPECT_DOUBLE_EQ(actual.interfaceTrapEdgeDensity, expected.interfaceTrapEdgeDensity);
    EXPECT_DOUBLE_EQ(actual.interfaceTrapEdgeWidthEv, expected.interfaceTrapEdgeWidthEv);
    EXPECT_DOUBLE_EQ(actual.trapCaptureCrossSectionSquareCm,
                     expected.trapCaptureCrossSectionSquareCm);
    EXPECT_DOUBLE_EQ(actual.trapCrossSectionDecadesPerEv, expected.trapCrossSectionDecadesPerEv);
}

// ----- reading the two sections ---------------------------------------------

TEST(ReadBusConfiguration, MissingFileGivesTheDefaults)
{
    TempFolder temp;
    const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::Auto);
    EXPECT_EQ(configuration.simulator.meterAddress, 17);
    EXPECT_EQ(configuration.simulator.timeScale, 1.0);
    EXPECT_EQ(configuration.simulator.fault, SimulatedMeterFault::None);
    MosDevice defaults;
    defaults.pTypeSubstrate = true;
    defaults.oxideThicknessMetres = 10e-9;
    defaults.dopingPerCubicCm = 1e16;
    defaults.padAreaSquareMetres = 10000e-12;
    defaults.flatBandVolts = -0.9;
    defaults.seriesResistanceOhms = 0;
    defaults.interfaceTrapDensity = 5e10;
    defaults.hysteresisVolts = 0;
    ExpectSameDevice(configuration.simulator.device, defaults);
    EXPECT_TRUE(IsTransparent(configuration.simulator.fixture));
    EXPECT_TRUE(configuration.ignoredValues.empty());
    // Reading writes nothing.
    EXPECT_FALSE(temp.Exists(kIni));
}

TEST(ReadBusConfiguration, ReadsEveryKey)
{
    TempFolder temp;
    temp.Write(kIni,
               "[meas]\r\nValue_00=-3\r\n"
               "[GPIB]\r\ndriver = Simulated\r\n"
               "[simulator]\r\nAddress=5\r\nSubstrate=N\r\nOxideNm=25.5\r\n"
               "StrayPf=0.5\r\nStrayUs=0.02\r\nFixtureOhm=2\r\nFixtureNh=50\r\nCableM=1\r\n"
               "DopingPerCm3=3e15\r\nAreaUm2=40000\r\nFlatBandV=0.35\r\nTimeScale=0\r\n"
               "Fault=no-srq\r\nSeriesOhm=150\r\nDitPerCm2eV=2e11\r\nHysteresisV=-0.1\r\n"
               "TrapResponse=Continuum\r\nDitEdgePerCm2eV=1e12\r\nDitEdgeWidthEV=0.08\r\n"
               "TrapCrossSectionCm2=3e-16\r\nTrapCrossSectionDecadesPerEV=-1.5\r\n");
    const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::Simulated);
    EXPECT_EQ(configuration.simulator.meterAddress, 5);
    EXPECT_EQ(configuration.simulator.timeScale, 0.0);
    EXPECT_EQ(configuration.simulator.fault, SimulatedMeterFault::NoServiceRequest);
    MosDevice expected;
    expected.pTypeSubstrate = false;
    expected.oxideThicknessMetres = 25.5e-9;
    expected.dopingPerCubicCm = 3e15;
    expected.padAreaSquareMetres = 200e-6 * 200e-6;
    expected.flatBandVolts = 0.35;
    expected.seriesResistanceOhms = 150;
    expected.interfaceTrapDensity = 2e11;
    expected.hysteresisVolts = -0.1;
    expected.trapResponse = TrapResponse::Continuum;
    expected.interfaceTrapEdgeDensity = 1e12;
    expected.interfaceTrapEdgeWidthEv = 0.08;
    expected.trapCaptureCrossSectionSquareCm = 3e-16;
    expected.trapCrossSectionDecadesPerEv = -1.5;
    ExpectSameDevice(configuration.simulator.device, expected);
    const ProbeFixture& fixture = configuration.simulator.fixture;
    EXPECT_DOUBLE_EQ(fixture.strayFarads, 0.5e-12);
    EXPECT_DOUBLE_EQ(fixture.straySiemens, 0.02e-6);
    EXPECT_DOUBLE_EQ(fixture.seriesOhms, 2.0);
    EXPECT_DOUBLE_EQ(fixture.seriesHenries, 50e-9);
    EXPECT_DOUBLE_EQ(fixture.cableMetres, 1.0);
    EXPECT_TRUE(configuration.ignoredValues.empty());
}

TEST(ReadBusConfiguration, EveryDriverWordAndEveryFault)
{
    TempFolder temp;
    const std::pair<const char*, DriverSetting> drivers[] = {
        {"auto", DriverSetting::Auto},
        {"simulated", DriverSetting::Simulated},
        {"linux-gpib", DriverSetting::LinuxGpib},
        {"NI", DriverSetting::Ni},
    };
    for (const auto& [word, setting] : drivers) {
        temp.Write(kIni, std::string("[gpib]\nDriver=") + word + "\n");
        EXPECT_EQ(ReadBusConfiguration(temp.Folder()).driver, setting) << word;
    }
    const std::pair<const char*, SimulatedMeterFault> faults[] = {
        {"none", SimulatedMeterFault::None},
        {"absent", SimulatedMeterFault::Absent},
        {"no-srq", SimulatedMeterFault::NoServiceRequest},
        {"overflow", SimulatedMeterFault::Overflow},
        {"Short-Reply", SimulatedMeterFault::ShortReply},
    };
    for (const auto& [word, fault] : faults) {
        temp.Write(kIni, std::string("[simulator]\nFault=") + word + "\n");
        EXPECT_EQ(ReadBusConfiguration(temp.Folder()).simulator.fault, fault) << word;
    }
}

TEST(ReadBusConfiguration, DriverPathsAbsoluteRelativeAndBare)
{
    TempFolder temp;
    temp.Write(kIni, "[gpib]\nDriver=/opt/gpib/lib/libgpib.so.0\n");
    BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::LibraryFile);
    EXPECT_EQ(configuration.libraryPath, "/opt/gpib/lib/libgpib.so.0");

    // Relative to the program's folder, not to the working directory.
    temp.Write(kIni, "[gpib]\nDriver=drivers/libni4882.so\n");
    configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::LibraryFile);
    EXPECT_EQ(configuration.libraryPath, temp.Folder().Path() + "/drivers/libni4882.so");

    // A bare file name is left to the system's library search.
    temp.Write(kIni, "[gpib]\nDriver=libgpibapi.so\n");
    configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::LibraryFile);
    EXPECT_EQ(configuration.libraryPath, "libgpibapi.so");
    EXPECT_TRUE(configuration.ignoredValues.empty());
}

TEST(ReadBusConfiguration, PrologixAdapterOverTheNetworkOrASerialLine)
{
    TempFolder temp;
    const std::pair<const char*, const char*> adapters[] = {
        {"prologix:192.168.1.20", "192.168.1.20"},
        {"Prologix: gpib-lab.example:5000", "gpib-lab.example:5000"},
        {"PROLOGIX:/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"prologix:[fe80::7]:1234", "[fe80::7]:1234"},
    };
    for (const auto& [value, location] : adapters) {
        temp.Write(kIni, std::string("[gpib]\nDriver=") + value + "\n");
        const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
        EXPECT_EQ(configuration.driver, DriverSetting::Prologix) << value;
        EXPECT_EQ(configuration.prologixLocation, location) << value;
        EXPECT_TRUE(configuration.ignoredValues.empty()) << value;
    }
    for (const char* value : {"prologix:", "prologix:host:0", "prologix:host:70000"}) {
        temp.Write(kIni, std::string("[gpib]\nDriver=") + value + "\n");
        const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
        EXPECT_EQ(configuration.driver, DriverSetting::Auto) << value;
        EXPECT_EQ(configuration.ignoredValues,
                  (std::vector<std::string>{std::string("[gpib] Driver=") + value}));
    }
}

TEST(ReadBusConfiguration, BadValuesKeepTheirDefaultsAndAreListed)
{
    TempFolder temp;
    temp.Write(kIni,
               "[gpib]\nDriver=linux_gpib\n"
               "[simulator]\nAddress=31\nSubstrate=x\nOxideNm=ten\nDopingPerCm3=-1e16\n"
               "AreaUm2=0\nFlatBandV=1,5\nTimeScale=-1\nFault=broken\nSeriesOhm=-5\n"
               "DitPerCm2eV=lots\nHysteresisV=11\nTrapResponse=both\nDitEdgeWidthEV=0\n");
    const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    const BusConfiguration defaults;
    EXPECT_EQ(configuration.driver, DriverSetting::Auto);
    EXPECT_EQ(configuration.simulator.meterAddress, defaults.simulator.meterAddress);
    EXPECT_EQ(configuration.simulator.timeScale, defaults.simulator.timeScale);
    EXPECT_EQ(configuration.simulator.fault, defaults.simulator.fault);
    ExpectSameDevice(configuration.simulator.device, defaults.simulator.device);
    EXPECT_EQ(configuration.ignoredValues,
              (std::vector<std::string>{
                  "[gpib] Driver=linux_gpib", "[simulator] Address=31", "[simulator] Substrate=x",
                  "[simulator] OxideNm=ten", "[simulator] DopingPerCm3=-1e16",
                  "[simulator] AreaUm2=0", "[simulator] FlatBandV=1,5", "[simulator] SeriesOhm=-5",
                  "[simulator] DitPerCm2eV=lots", "[simulator] HysteresisV=11",
                  "[simulator] TimeScale=-1", "[simulator] TrapResponse=both",
                  "[simulator] DitEdgeWidthEV=0", "[simulator] Fault=broken"}));
}

TEST(ReadBusConfiguration, AFractionalAddressIsNotAnAddress)
{
    TempFolder temp;
    temp.Write(kIni, "[simulator]\nAddress=17.5\nTimeScale=0.25\n");
    const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.simulator.meterAddress, 17);
    EXPECT_EQ(configuration.simulator.timeScale, 0.25);
    EXPECT_EQ(configuration.ignoredValues, (std::vector<std::string>{"[simulator] Address=17.5"}));
}

TEST(ReadBusConfiguration, EmptyValuesCountAsMissing)
{
    TempFolder temp;
    temp.Write(kIni, "[gpib]\nDriver=\n[simulator]\nOxideNm=  \nFault=\n");
    const BusConfiguration configuration = ReadBusConfiguration(temp.Folder());
    EXPECT_EQ(configuration.driver, DriverSetting::Auto);
    EXPECT_DOUBLE_EQ(configuration.simulator.device.oxideThicknessMetres, 10e-9);
    EXPECT_TRUE(configuration.ignoredValues.empty());
}

// ----- building the bus -----------------------------------------------------

const std::vector<DriverCandidate> kNothingInstalled{
    {"/nonexistent/quillon/libgpib.so.0", DriverFamily::LinuxGpib},
    {"/nonexistent/quillon/libni4882.so", DriverFamily::Ni}};

BusConfiguration Configured(DriverSetting driver, std::string path = {})
{
    BusConfiguration configuration;
    configuration.driver = driver;
    configuration.libraryPath = std::move(path);
    return configuration;
}

TEST(BuildBus, AutoWithNoLibraryRunsSimulatedAndSaysSoInTheCaptionOnly)
{
    VirtualClock clock;
    ChosenBus bus = BuildBus(Configured(DriverSetting::Auto), kNothingInstalled, clock);
    EXPECT_FALSE(bus.library);
    ASSERT_TRUE(bus.lab.bus);
    EXPECT_EQ(&ChosenDriver(bus), bus.lab.bus.get());
    EXPECT_FALSE(ChosenDriver(bus).CaptionMark().empty());
    EXPECT_FALSE(ChosenDriver(bus).ListNotice().empty());
    EXPECT_TRUE(bus.messages.empty());
}

TEST(BuildBus, AutoTakesTheFirstLibraryThatLoads)
{
    VirtualClock clock;
    std::vector<DriverCandidate> candidates = kNothingInstalled;
    candidates.push_back({FAKE_LINUX_GPIB_PATH, DriverFamily::LinuxGpib});
    candidates.push_back({FAKE_NI4882_PATH, DriverFamily::Ni});
    ChosenBus bus = BuildBus(Configured(DriverSetting::Auto), candidates, clock);
    ASSERT_TRUE(bus.library);
    EXPECT_EQ(bus.library->path(), FAKE_LINUX_GPIB_PATH);
    EXPECT_EQ(&ChosenDriver(bus), bus.library.get());
    EXPECT_EQ(ChosenDriver(bus).CaptionMark(), "");
    EXPECT_EQ(ChosenDriver(bus).ListNotice(), "");
    EXPECT_FALSE(bus.lab.bus);
    EXPECT_TRUE(bus.messages.empty());
}

TEST(BuildBus, AutoReportsAFoundLibraryItRefusesAndGoesOn)
{
    VirtualClock clock;
    const std::vector<DriverCandidate> candidates{
        {FAKE_NI4882_WITHOUT_FINDLSTN_PATH, DriverFamily::Ni},
        {FAKE_NI4882_PATH, DriverFamily::Ni}};
    ChosenBus bus = BuildBus(Configured(DriverSetting::Auto), candidates, clock);
    ASSERT_TRUE(bus.library);
    EXPECT_EQ(bus.library->path(), FAKE_NI4882_PATH);
    ASSERT_EQ(bus.messages.size(), 1u);
    EXPECT_NE(bus.messages[0].find(FAKE_NI4882_WITHOUT_FINDLSTN_PATH), std::string::npos);
    EXPECT_NE(bus.messages[0].find("FindLstn"), std::string::npos);
    EXPECT_EQ(bus.messages[0].find(kSimulatedBusNotice), std::string::npos);
}

TEST(BuildBus, LibraryMissingAFunctionIsRefusedAndNothingIsMeasured)
{
    VirtualClock clock;
    ChosenBus bus = BuildBus(
        Configured(DriverSetting::LibraryFile, FAKE_NI4882_WITHOUT_FINDLSTN_PATH), {}, clock);
    EXPECT_FALSE(bus.library);
    EXPECT_FALSE(bus.lab.bus);
    ASSERT_TRUE(bus.unusable);
    EXPECT_EQ(&ChosenDriver(bus), bus.unusable.get());
    EXPECT_EQ(ChosenDriver(bus).CaptionMark(), UnusableBus::kCaptionMark);
    ASSERT_EQ(bus.messages.size(), 1u);
    const std::string& message = bus.messages[0];
    EXPECT_NE(message.find(FAKE_NI4882_WITHOUT_FINDLSTN_PATH), std::string::npos) << message;
    EXPECT_NE(message.find("FindLstn"), std::string::npos) << message;
    EXPECT_NE(message.find(kUnusableBusNotice), std::string::npos) << message;
    EXPECT_LT(message.find("FindLstn"), message.find(kUnusableBusNotice));

    // START, "Check" and --run meet a bus that fails every call and says why.
    SelectGpibDriver(ChosenDriver(bus));
    testing::RecordingDesktop desktop;
    testing::RecordingRunWindow window;
    window.settings.text = {"0", "1", "0.25", "1000", "1", "0", "50", "10000", "0", "17", "1"};
    SweepData sweep;
    testing::TempFolder temp;
    const RunResult result =
        RunMeasurement(window, sweep, Environment{clock, temp.Folder(), desktop}, {});
    EXPECT_EQ(result.ending, RunEnding::Refused);
    ASSERT_EQ(desktop.messages.size(), 1u);
    const std::string& refusal = desktop.messages[0].text;
    EXPECT_EQ(refusal.rfind("The 4284A could not be opened (GPIB board 0, address 17).", 0), 0u)
        << refusal;
    EXPECT_NE(refusal.find("iberr = ENEB <No GPIB board>\r\nThe GPIB driver library"),
              std::string::npos)
        << refusal;
    EXPECT_EQ(RunExitStatus(result.ending, false), kExitMeterNotOpened);
    DeselectGpibDriver();
}

TEST(BuildBus, PathThatIsNotALibraryIsRefusedWithTheLoadersReason)
{
    TempFolder temp;
    temp.Write("notes.so", "not a library\n");
    const std::string path = temp.File("notes.so").string();
    dlerror();
    ASSERT_EQ(dlopen(path.c_str(), RTLD_NOW), nullptr);
    const std::string reason = dlerror();

    VirtualClock clock;
    ChosenBus bus = BuildBus(Configured(DriverSetting::LibraryFile, path), {}, clock);
    EXPECT_FALSE(bus.library);
    ASSERT_EQ(bus.messages.size(), 1u);
    EXPECT_NE(bus.messages[0].find(path), std::string::npos) << bus.messages[0];
    EXPECT_NE(bus.messages[0].find(reason), std::string::npos) << bus.messages[0];
    EXPECT_NE(bus.messages[0].find(kUnusableBusNotice), std::string::npos);
}

TEST(BuildBus, ExplicitFamilyTriesOnlyItsOwnLibrariesAndReportsEachFailure)
{
    VirtualClock clock;
    std::vector<DriverCandidate> candidates{{FAKE_LINUX_GPIB_PATH, DriverFamily::LinuxGpib}};
    candidates.insert(candidates.end(), kNothingInstalled.begin(), kNothingInstalled.end());

    ChosenBus ni = BuildBus(Configured(DriverSetting::Ni), candidates, clock);
    EXPECT_FALSE(ni.library);
    ASSERT_EQ(ni.messages.size(), 1u);
    EXPECT_NE(ni.messages[0].find("/nonexistent/quillon/libni4882.so"), std::string::npos);
    EXPECT_EQ(ni.messages[0].find(FAKE_LINUX_GPIB_PATH), std::string::npos);
    EXPECT_NE(ni.messages[0].find(kUnusableBusNotice), std::string::npos);

    ChosenBus linuxGpib = BuildBus(Configured(DriverSetting::LinuxGpib), candidates, clock);
    ASSERT_TRUE(linuxGpib.library);
    EXPECT_EQ(linuxGpib.library->family(), DriverFamily::LinuxGpib);
    EXPECT_TRUE(linuxGpib.messages.empty());

    // A family with no library known at all still says why.
    ChosenBus none = BuildBus(Configured(DriverSetting::LinuxGpib), {}, clock);
    ASSERT_EQ(none.messages.size(), 1u);
    EXPECT_NE(none.messages[0].find("linux-gpib"), std::string::npos);
    EXPECT_NE(none.messages[0].find(kUnusableBusNotice), std::string::npos);
}

BusConfiguration PrologixAt(const std::string& location)
{
    BusConfiguration configuration;
    configuration.driver = DriverSetting::Prologix;
    configuration.prologixLocation = location;
    return configuration;
}

TEST(BuildBus, PrologixAdapterThatAnswersIsTheBus)
{
    testing::SharedVirtualClock clock{1000};
    SimulatedLab bench = MakeSimulatedLab(clock);
    SimulatedPrologixAdapter adapter(*bench.bus, {bench.meter, bench.multimeter});

    ChosenBus bus = BuildBus(PrologixAt(adapter.Location()), kNothingInstalled, clock);
    ASSERT_TRUE(bus.prologix);
    EXPECT_FALSE(bus.library);
    EXPECT_FALSE(bus.lab.bus);
    EXPECT_EQ(&ChosenDriver(bus), bus.prologix.get());
    EXPECT_EQ(ChosenDriver(bus).CaptionMark(), "");
    EXPECT_TRUE(bus.messages.empty());

    SelectGpibDriver(ChosenDriver(bus));
    std::vector<int16_t> found(3, 0);
    GpibFindListeners(0, {5, kSimulatedMeterAddress, kSimulatedMultimeterAddress, kNoAddr16}, found,
                      3);
    EXPECT_EQ(ibcntl, 2);
    EXPECT_EQ(found[0], kSimulatedMeterAddress);
    EXPECT_EQ(found[1], kSimulatedMultimeterAddress);
    DeselectGpibDriver();
}

TEST(BuildBus, UnreachableAdapterIsReportedWithTheReasonAndNothingIsMeasured)
{
    VirtualClock clock;
    const std::string location = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    ChosenBus bus = BuildBus(PrologixAt(location), kNothingInstalled, clock);
    EXPECT_FALSE(bus.prologix);
    EXPECT_FALSE(bus.lab.bus);
    ASSERT_TRUE(bus.unusable);
    ASSERT_EQ(bus.messages.size(), 1u);
    const std::string& message = bus.messages[0];
    EXPECT_NE(message.find("Prologix adapter at " + location), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(ECONNREFUSED)), std::string::npos) << message;
    EXPECT_NE(message.find(kUnusableBusNotice), std::string::npos) << message;
    EXPECT_LT(message.find(std::strerror(ECONNREFUSED)), message.find(kUnusableBusNotice));
    EXPECT_NE(bus.unusable->reason().find(std::strerror(ECONNREFUSED)), std::string::npos);
}

TEST(BuildBus, SilentAdapterIsReportedWithinTheBound)
{
    testing::SharedVirtualClock clock{1000};
    SimulatedLab bench = MakeSimulatedLab(clock);
    SimulatedPrologixAdapter adapter(*bench.bus, {bench.meter, bench.multimeter});
    adapter.Hold(true);
    PrologixTimeouts quick;
    quick.connectMilliseconds = 30;
    quick.replyMilliseconds = 30;
    ChosenBus bus = BuildBus(PrologixAt(adapter.Location()), kNothingInstalled, clock, quick);
    adapter.Hold(false);
    EXPECT_FALSE(bus.prologix);
    ASSERT_EQ(bus.messages.size(), 1u);
    EXPECT_NE(bus.messages[0].find("++ver"), std::string::npos) << bus.messages[0];
    EXPECT_NE(bus.messages[0].find(kUnusableBusNotice), std::string::npos);
}

TEST(ChooseBus, SettingsFileNamesThePrologixAdapter)
{
    TempFolder temp;
    testing::SharedVirtualClock clock{1000};
    SimulatedLab bench = MakeSimulatedLab(clock);
    SimulatedPrologixAdapter adapter(*bench.bus, {bench.meter, bench.multimeter});
    temp.Write(kIni, "[gpib]\r\nDriver=prologix:" + adapter.Location() + "\r\n");
    ChosenBus bus = ChooseBus(temp.Folder(), clock);
    ASSERT_TRUE(bus.prologix) << ::testing::PrintToString(bus.messages);
    EXPECT_EQ(bus.prologix->adapterName(), adapter.Location());
    EXPECT_EQ(bus.prologix->adapterVersion(), SimulatedPrologixAdapter::kVersion);
}

TEST(BuildBus, IgnoredSettingsAreShownInOneMessage)
{
    VirtualClock clock;
    BusConfiguration configuration = Configured(DriverSetting::Simulated);
    configuration.ignoredValues = {"[simulator] OxideNm=ten", "[simulator] Fault=broken"};
    ChosenBus bus = BuildBus(configuration, kNothingInstalled, clock);
    ASSERT_EQ(bus.messages.size(), 1u);
    EXPECT_NE(bus.messages[0].find("Quillon.ini"), std::string::npos);
    EXPECT_NE(bus.messages[0].find("\r\n[simulator] OxideNm=ten\r\n[simulator] Fault=broken"),
              std::string::npos)
        << bus.messages[0];
}

// ----- the simulated bench as the [simulator] section sets it up -------------

class SimulatorSectionTest : public ::testing::Test {
protected:
    ChosenBus Choose(const std::string& simulatorSection)
    {
        temp.Write(kIni, "[gpib]\r\nDriver=simulated\r\n[simulator]\r\n" + simulatorSection);
        ChosenBus bus = ChooseBus(temp.Folder(), clock);
        SelectGpibDriver(ChosenDriver(bus));
        return bus;
    }

    // One point at `bias` with the meter at `address`.
    PointReading MeasureAt(double bias, int16_t address = 17)
    {
        InstrumentSettings settings;
        settings.address = address;
        settings.integration = Integration::Long;
        settings.averaging = 4;
        settings.frequencyHertz = 100000;
        settings.acLevel = "20";
        settings.triggerDelay = "0";
        const InstrumentConnection connection = SetUpInstrument(settings, clock);
        if (!connection.opened) return {};
        std::string reply = FixedWidth("", kReplyLength);
        TriggerPoint(connection.descriptor, bias);
        PointReading reading = CollectPoint(connection.descriptor, reply);
        ReturnToIdle(connection.descriptor, clock);
        return reading;
    }

    std::vector<int16_t> Listeners()
    {
        std::vector<int16_t> pads;
        for (int16_t pad = 1; pad <= 30; ++pad) pads.push_back(pad);
        pads.push_back(kNoAddr16);
        std::vector<int16_t> found(31, 0);
        GpibFindListeners(0, pads, found, 31);
        found.resize(static_cast<std::size_t>(ibcntl));
        return found;
    }

    TempFolder temp;
    VirtualClock clock{1000};
};

TEST_F(SimulatorSectionTest, TheConfiguredDeviceGivesItsCurve)
{
    MosDevice thick;
    thick.oxideThicknessMetres = 20e-9;
    thick.padAreaSquareMetres = 200e-6 * 200e-6;
    thick.dopingPerCubicCm = 5e15;
    thick.flatBandVolts = -0.2;
    ChosenBus bus =
        Choose("OxideNm=20\r\nAreaUm2=40000\r\nDopingPerCm3=5e15\r\nFlatBandV=-0.2\r\n");
    ASSERT_FALSE(bus.library);
    for (double bias : {-3.0, -0.2, 0.5, 3.0}) {
        const PointReading reading = MeasureAt(bias);
        ASSERT_EQ(reading.outcome, PointReading::Outcome::Read) << bias;
        const double expected = EvaluateMosCapacitor(thick, bias, 100000).capacitanceFarads;
        EXPECT_NEAR(reading.capacitance, expected, expected * 2e-3) << bias;
    }
}

TEST_F(SimulatorSectionTest, ThickerOxideGivesSmallerAccumulationCapacitance)
{
    double accumulation[2] = {};
    int i = 0;
    for (const char* oxide : {"OxideNm=10\r\n", "OxideNm=30\r\n"}) {
        ChosenBus bus = Choose(oxide);
        const PointReading reading = MeasureAt(-4.0);
        ASSERT_EQ(reading.outcome, PointReading::Outcome::Read);
        accumulation[i++] = reading.capacitance;
    }
    EXPECT_LT(accumulation[1], accumulation[0] * 0.4);
    EXPECT_GT(accumulation[1], accumulation[0] * 0.3);
}

TEST_F(SimulatorSectionTest, NTypeSubstrateAccumulatesAtPositiveBias)
{
    ChosenBus bus = Choose("Substrate=n\r\nFlatBandV=0\r\n");
    const double positive = MeasureAt(3.0).capacitance;
    const double negative = MeasureAt(-3.0).capacitance;
    EXPECT_GT(positive, 2.0 * negative);
}

TEST_F(SimulatorSectionTest, AbsentMeterLeavesNoListenerAtItsAddress)
{
    ChosenBus bus = Choose("Fault=absent\r\n");
    EXPECT_EQ(Listeners(), (std::vector<int16_t>{kSimulatedMultimeterAddress}));
    EXPECT_EQ(bus.lab.meter, nullptr);
}

TEST_F(SimulatorSectionTest, MeterAnswersAtTheConfiguredAddress)
{
    ChosenBus bus = Choose("Address=5\r\n");
    EXPECT_EQ(Listeners(), (std::vector<int16_t>{5, kSimulatedMultimeterAddress}));
    EXPECT_EQ(MeasureAt(-3.0, 5).outcome, PointReading::Outcome::Read);
}

TEST_F(SimulatorSectionTest, TimeScaleShortensTheMeasurement)
{
    uint32_t elapsed[3] = {};
    int i = 0;
    for (const char* scale : {"TimeScale=1\r\n", "TimeScale=0.5\r\n", "TimeScale=0\r\n"}) {
        ChosenBus bus = Choose(scale);
        const InstrumentConnection connection = SetUpInstrument(
            InstrumentSettings{0, 17, Integration::Long, 4, 1000, "20", "0"}, clock);
        ASSERT_TRUE(connection.opened);
        std::string reply = FixedWidth("", kReplyLength);
        TriggerPoint(connection.descriptor, 0.0);
        const uint32_t start = clock.TickCount();
        EXPECT_EQ(CollectPoint(connection.descriptor, reply).outcome, PointReading::Outcome::Read);
        elapsed[i++] = clock.TickCount() - start;
    }
    // Long aperture at 1 kHz: 830 ms per measurement, four of them.
    EXPECT_EQ(elapsed[0], 4u * 830u);
    EXPECT_EQ(elapsed[1], 2u * 830u);
    EXPECT_EQ(elapsed[2], 0u);
}

TEST_F(SimulatorSectionTest, FaultsReachTheRun)
{
    {
        ChosenBus bus = Choose("Fault=overflow\r\n");
        EXPECT_EQ(MeasureAt(-3.0).capacitance, 9.9e37);
    }
    {
        ChosenBus bus = Choose("Fault=no-srq\r\nTimeScale=0\r\n");
        EXPECT_EQ(MeasureAt(-3.0).outcome, PointReading::Outcome::TimedOut);
    }
}

}  // namespace
}  // namespace quillon
