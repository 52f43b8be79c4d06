#include "analysis/run_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "analysis/csv_data_file.h"
#include "analysis/instrument_table_reader.h"
#include "analysis/measurement_log_reader.h"
#include "analysis/result_table.h"
#include "analysis/run_file_text.h"
#include "common/date_text.h"
#include "common/text_number.h"

namespace quillon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kCsvSignature = "# quillon:";
constexpr std::string_view kFrequencySweepSignature = "# quillon: C-f";
// The CSV data file's header since it names the sweep of each point.
// Files written before the sweep column have the first three only.
constexpr std::string_view kCsvHeaderWithoutLegs = "V,C,G";
constexpr std::size_t kReadChunkBytes = std::size_t{1} << 20;

struct TextKey {
    std::string_view key;
    TextField field;
};
constexpr TextKey kTextKeys[] = {
    {"start bias [V]", kStartBias},        {"stop bias [V]", kStopBias},
    {"bias step [V]", kBiasStep},          {"cycles", kCycles},
    {"frequency [Hz]", kFrequency},        {"AC level [mV]", kAcLevel},
    {"trigger delay [s]", kTriggerDelay},  {"averaging", kAveraging},
    {"pad area [um2]", kPadArea},          {"GPIB board", kGpibBoard},
    {"4284A address", kInstrumentAddress},
};

struct CheckKey {
    std::string_view key;
    CheckField field;
};
constexpr CheckKey kCheckKeys[] = {
    {"double sweep", kDoubleSweep},
    {"invert bias", kInvertBias},
    {"quit when unbalanced", kQuitWhenUnbal},
};

constexpr std::string_view kIntegrationNames[] = {"SHORT", "MEDIUM", "LONG"};

bool StartsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

bool IsBlank(std::string_view line)
{
    return Trimmed(line).empty();
}

std::string NotANumber(std::string_view field, std::string_view column)
{
    return Quoted(field) + " in column " + std::string(column) + " is not a number";
}

std::string FieldCountReason(std::size_t fields, std::size_t wanted)
{
    return std::to_string(fields) + (fields == 1 ? " field" : " fields") +
           " where the header has " + std::to_string(wanted);
}

// Bias, C and G from the first three fields.
std::optional<std::string> ReadPoint(const std::vector<std::string_view>& fields,
                                     MeasuredPoint& point)
{
    static constexpr std::string_view kColumns[] = {"V", "C", "G"};
    double* values[] = {&point.bias, &point.capacitance, &point.conductance};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::optional<double> value = FieldNumber(fields[k]);
        if (!value) return NotANumber(fields[k], kColumns[k]);
        *values[k] = *value;
    }
    return std::nullopt;
}

// The sweep of a row of the CSV data file: no value where either field is
// empty (not known), a reason where one is not a sweep.
std::optional<std::string> ReadLeg(std::string_view sweep, std::string_view cycle,
                                   std::optional<SweepLeg>& leg)
{
    leg.reset();
    SweepLeg read;
    if (sweep == "down")
        read.direction = SweepDirection::Down;
    else if (sweep != "up" && !sweep.empty())
        return Quoted(sweep) + " in column sweep is neither up nor down";
    const std::optional<double> number = FieldNumber(cycle);
    const std::optional<int16_t> whole = number ? RoundToInt16(*number) : std::nullopt;
    if (!cycle.empty() && (!whole || *whole != *number || *whole < 1))
        return Quoted(cycle) + " in column cycle is not a cycle number (1, 2, ...)";
    if (sweep.empty() || cycle.empty()) return std::nullopt;
    read.cycle = *whole;
    leg = read;
    return std::nullopt;
}

// One "# key: value" line into the run; a reason where the value cannot be
// what the key says.
std::optional<std::string> ReadComment(std::string_view key, std::string_view value, StoredRun& run,
                                       MeasurementSettingsValues& settings, bool& anySetting,
                                       std::optional<int>& declaredPoints)
{
    for (const TextKey& text : kTextKeys) {
        if (key != text.key) continue;
        settings.text[static_cast<std::size_t>(text.field)] = std::string(value);
        anySetting = true;
        return std::nullopt;
    }
    for (const CheckKey& check : kCheckKeys) {
        if (key != check.key) continue;
        if (value != "yes" && value != "no")
            return "the value " + Quoted(value) + " of \"" + std::string(key) +
                   "\" is neither yes nor no";
        settings.check[static_cast<std::size_t>(check.field)] = value == "yes" ? 1 : 0;
        anySetting = true;
        return std::nullopt;
    }
    if (key == "integration") {
        settings.option.reset();
        for (int option = 0; option < 3; ++option)
            if (value == kIntegrationNames[option]) settings.option = option;
        if (!settings.option && value != "not selected")
            return "the integration " + Quoted(value) + " is none of SHORT, MEDIUM and LONG";
        anySetting = true;
    } else if (key == "started") {
        // A date that cannot be (a run with no clock set) leaves the start
        // unknown; the points are as good.
        run.started = DateOfText(value, "yyyy-mm-dd hh:nn:ss");
    } else if (key == "sample") {
        run.sample = TextAsUtf8(value);
    } else if (key == "note") {
        run.note = TextAsUtf8(value);
    } else if (key == "points") {
        const std::optional<double> count = FieldNumber(value);
        const std::optional<int32_t> whole = count ? RoundToInt32(*count) : std::nullopt;
        if (whole && *whole == *count) declaredPoints = *whole;
    }
    return std::nullopt;
}

RunFileReading ReadCsvDataFile(const std::string& path, TextLineCursor lines)
{
    StoredRun run;
    run.source = RunSource::CsvDataFile;
    run.path = path;
    MeasurementSettingsValues settings;
    // A setting the file does not name was not known: no design text.
    settings.text.fill("");
    bool anySetting = false;
    std::optional<int> declaredPoints;

    TextLine line;
    bool headerFound = false;
    while (!headerFound && lines.Next(line)) {
        if (IsBlank(line.text)) continue;
        headerFound = line.text.front() != '#';
        if (headerFound) break;
        const std::size_t colon = line.text.find(':');
        if (colon == std::string_view::npos) continue;
        if (std::optional<std::string> reason = ReadComment(
                Trimmed(line.text.substr(1, colon - 1)), Trimmed(line.text.substr(colon + 1)), run,
                settings, anySetting, declaredPoints))
            return Refusal(path, line.number, std::move(*reason));
    }
    if (!headerFound)
        return Refusal(path, 0, "the file ends before its header \"V,C,G\": it holds no points");
    const std::string_view header = Trimmed(line.text);
    const bool withLegs = header == kCsvHeader;
    if (!withLegs && header != kCsvHeaderWithoutLegs)
        return Refusal(path, line.number,
                       "the header is " + Quoted(header) +
                           " where a data file of this program has " +
                           "\"V,C,G\" or \"V,C,G,sweep,cycle\"");
    const std::size_t wanted = withLegs ? 5 : 3;

    // The shortest row the program writes has more than 24 characters.
    const std::size_t rowsAtMost = lines.RemainingBytes() / 24 + 1;
    run.points.reserve(rowsAtMost);
    if (withLegs) run.legs.reserve(rowsAtMost);
    bool everyLegKnown = withLegs;
    std::vector<std::string_view> fields;
    while (lines.Next(line)) {
        if (IsBlank(line.text) || line.text.front() == '#') continue;
        SplitFields(line.text, ',', fields);
        if (fields.size() != wanted)
            return Refusal(path, line.number, FieldCountReason(fields.size(), wanted));
        MeasuredPoint point;
        if (std::optional<std::string> reason = ReadPoint(fields, point))
            return Refusal(path, line.number, std::move(*reason));
        run.points.push_back(point);
        if (!withLegs) continue;
        std::optional<SweepLeg> leg;
        if (std::optional<std::string> reason = ReadLeg(fields[3], fields[4], leg))
            return Refusal(path, line.number, std::move(*reason));
        if (leg)
            run.legs.push_back(*leg);
        else
            everyLegKnown = false;
    }
    if (run.points.empty()) return Refusal(path, 0, "the file holds no points, only its header");
    const int count = static_cast<int>(run.points.size());
    if (declaredPoints && *declaredPoints != count)
        return Refusal(path, 0,
                       "the file says it holds " + std::to_string(*declaredPoints) +
                           " points but holds " + std::to_string(count) +
                           ": it may have been cut short or edited");
    if (!everyLegKnown) run.legs.clear();
    if (anySetting) {
        run.frequencyHertz = FieldNumber(settings.text[kFrequency]);
        run.padAreaSquareMicrons = FieldNumber(settings.text[kPadArea]);
        run.settings = std::move(settings);
    }
    RunFileReading reading;
    reading.runs.push_back(std::move(run));
    return reading;
}

RunFileReading ReadTableFile(const std::string& path, TextLineCursor lines)
{
    StoredRun run;
    run.source = RunSource::TableFile;
    run.path = path;
    TextLine line;
    lines.Next(line);  // the header
    // Rows of "Save Data" have more than 24 characters.
    run.points.reserve(lines.RemainingBytes() / 24 + 1);
    std::vector<std::string_view> fields;
    while (lines.Next(line)) {
        if (IsBlank(line.text)) continue;
        SplitFields(line.text, '\t', fields);
        if (fields.size() != 3)
            return Refusal(path, line.number, FieldCountReason(fields.size(), 3));
        MeasuredPoint point;
        if (std::optional<std::string> reason = ReadPoint(fields, point))
            return Refusal(path, line.number, std::move(*reason));
        run.points.push_back(point);
    }
    if (run.points.empty()) return Refusal(path, 0, "the file holds no points, only its header");
    RunFileReading reading;
    reading.runs.push_back(std::move(run));
    return reading;
}

// Text files hold no control characters but TAB, CR and LF: anything else
// (a NUL of UTF-16 or of an image, an escape) is binary data.
std::optional<RunFileProblem> BinaryProblem(const std::string& path, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\r' || byte == '\n')
            continue;
        int line = 1;
        for (std::size_t k = 0; k < i; ++k) line += text[k] == '\n';
        static const char* const kHex = "0123456789ABCDEF";
        const std::string shown = {'0', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        return RunFileProblem{path, line,
                              "this is not a text file: it holds the byte " + shown +
                                  " (binary data, or text in UTF-16)"};
    }
    return std::nullopt;
}

std::string OpenFailure(int error)
{
    if (error == ENOENT) return "the file is not there (moved, renamed or deleted)";
    if (error == EACCES || error == EPERM) return "you are not allowed to read this file";
    return std::string("it cannot be opened: ") + std::strerror(error);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string MebibytesText(std::uint64_t bytes)
{
    return std::to_string((bytes + (std::uint64_t{1} << 20) - 1) >> 20) + " MiB";
}

}  // namespace

std::string RunFileProblemText(const RunFileProblem& problem)
{
    if (problem.line <= 0) return problem.file + ": " + problem.reason;
    return problem.file + ", line " + std::to_string(problem.line) + ": " + problem.reason;
}

RunFileReading ReadRunText(const std::string& path, std::string_view text)
{
    if (StartsWith(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    if (std::optional<RunFileProblem> binary = BinaryProblem(path, text)) {
        RunFileReading reading;
        reading.problem = std::move(binary);
        return reading;
    }
    if (Trimmed(text, " \t\r\n").empty()) return Refusal(path, 0, "the file is empty");
    const TextLineCursor lines(text);
    TextLineCursor ahead = lines;
    TextLine first;
    // There is a line that is not blank: the text is not only blanks.
    while (ahead.Next(first) && IsBlank(first.text)) {
    }
    if (IsMeasurementLogRecordStart(first.text)) return ReadMeasurementLogLines(path, lines);
    // A C-f measurement's file is a table with a frequency column, one run
    // per frequency, as another instrument's.
    if (StartsWith(first.text, kCsvSignature) && !StartsWith(first.text, kFrequencySweepSignature))
        return ReadCsvDataFile(path, lines);
    if (first.number == 1 && first.text == kResultTableHeader) return ReadTableFile(path, lines);
    return ReadInstrumentTableLines(path, lines);
}

RunFileReading ReadRunFile(const std::string& path)
{
    // Without O_NONBLOCK a FIFO would wait for a writer for ever.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0) return Refusal(path, 0, OpenFailure(errno));
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0)
        return Refusal(path, 0, std::string("it cannot be read: ") + std::strerror(errno));
    if (S_ISDIR(status.st_mode)) return Refusal(path, 0, "this is a folder, not a file");
    if (!S_ISREG(status.st_mode))
        return Refusal(path, 0, "this is not a regular file (a device, a pipe or a socket)");
    const auto tooLarge = [&] {
        return Refusal(path, 0,
                       "the file is larger than " + MebibytesText(kLargestRunFileBytes) +
                           ", more than any run file; it is not read");
    };
    if (static_cast<std::uint64_t>(status.st_size) > kLargestRunFileBytes) return tooLarge();

    std::string text;
    text.reserve(static_cast<std::size_t>(status.st_size) + kReadChunkBytes);
    // The size may change while reading (a log being written): read to the
    // end, but never beyond the limit.
    std::size_t size = 0;
    while (true) {
        if (size > kLargestRunFileBytes) return tooLarge();
        text.resize(size + kReadChunkBytes);
        const ssize_t got = ::read(file.Get(), text.data() + size, kReadChunkBytes);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            return Refusal(path, 0, std::string("it cannot be read: ") + std::strerror(errno));
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    text.resize(size);
    return ReadRunText(path, text);
}

}  // namespace quillon
