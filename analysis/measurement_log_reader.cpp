#include "analysis/measurement_log_reader.h"

#include <optional>
#include <utility>

#include "common/date_text.h"
#include "common/text_number.h"
#include "measure/point_acquisition.h"

namespace quillon {

namespace {

constexpr std::string_view kRecordStart = "Measurement:";

struct Record {
    StoredRun run;
    bool initialLineSeen = false;  // the line before the first point
    bool ended = false;            // by its empty line
};

bool IsBlank(std::string_view line)
{
    return Trimmed(line).empty();
}

// A point line as the run writes it: "-1.500,+1.23456E-10,+4.56789E-07".
std::optional<MeasuredPoint> LogPoint(std::string_view line)
{
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::optional<double> bias = FieldNumber(line.substr(0, comma));
    const std::string_view reply = Trimmed(line.substr(comma + 1));
    if (!bias || !IsMeterReply(reply)) return std::nullopt;
    // The run's own parse of the reply, so that the points are the run's.
    const PointReading reading = ParseReply(std::string(reply));
    return MeasuredPoint{*bias, reading.capacitance, reading.conductance};
}

}  // namespace

bool IsMeasurementLogRecordStart(std::string_view line)
{
    return line.substr(0, kRecordStart.size()) == kRecordStart;
}

RunFileReading ReadMeasurementLogLines(const std::string& path, TextLineCursor lines)
{
    RunFileReading reading;
    std::optional<Record> record;
    int records = 0;
    const auto finish = [&] {
        if (record && !record->run.points.empty()) reading.runs.push_back(std::move(record->run));
        record.reset();
    };
    TextLine line;
    while (lines.Next(line)) {
        if (IsMeasurementLogRecordStart(line.text)) {
            finish();
            if (reading.runs.size() == kMostRunsInAFile)
                return Refusal(path, line.number,
                               "the log holds more than " + std::to_string(kMostRunsInAFile) +
                                   " records, more than a month's runs");
            // A date that cannot be leaves the start unknown, as in a data file.
            const std::optional<std::tm> started =
                DateOfText(Trimmed(line.text.substr(kRecordStart.size())), "yyyymmdd hh:nn:ss");
            record.emplace();
            ++records;
            record->run.source = RunSource::LogRecord;
            record->run.path = path;
            record->run.partOfFile = "record " + std::to_string(records);
            record->run.started = started;
            continue;
        }
        if (IsBlank(line.text)) {
            if (record) record->ended = true;
            continue;
        }
        if (!record || record->ended)
            return Refusal(path, line.number,
                           Quoted(line.text) + " stands outside any record of the log (a record " +
                               "starts with \"Measurement:\" and ends with an empty line)");
        if (!record->initialLineSeen) {
            record->initialLineSeen = true;
            continue;
        }
        if (const std::optional<MeasuredPoint> point = LogPoint(line.text)) {
            record->run.points.push_back(*point);
            continue;
        }
        const std::optional<TextLine> next = lines.Peek();
        const bool cutShort = !next || IsMeasurementLogRecordStart(next->text);
        if (!cutShort)
            return Refusal(path, line.number,
                           Quoted(line.text) +
                               " is not a point of the log (the bias, a comma, then the meter's " +
                               "reply \"+1.23456E-10,+4.56789E-07\")");
    }
    finish();
    if (reading.runs.empty()) return Refusal(path, 0, "no record of the log holds a point");
    return reading;
}

}  // namespace quillon
