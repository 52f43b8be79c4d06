#include "analysis/instrument_table_reader.h"

#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <utility>

#include "common/text_number.h"

namespace quillon {

namespace {

enum Quantity : int {
    kBiasColumn = 0,
    kCapacitanceColumn = 1,
    kConductanceColumn = 2,
    kFrequencyColumn = 3
};
constexpr int kQuantityCount = 4;

struct Unit {
    std::string_view text;
    int powerOfTen;  // a value in this unit times 10^powerOfTen is in the base unit
};

constexpr Unit kBiasUnits[] = {{"V", 0}, {"mV", -3}};
constexpr Unit kCapacitanceUnits[] = {{"F", 0}, {"pF", -12}, {"nF", -9}, {"uF", -6}, {"fF", -15}};
constexpr Unit kConductanceUnits[] = {{"S", 0}, {"mS", -3}, {"uS", -6}, {"nS", -9}};
constexpr Unit kFrequencyUnits[] = {{"Hz", 0}, {"kHz", 3}, {"KHz", 3}, {"MHz", 6}};

struct QuantityRule {
    std::string_view what;                  // for messages: "bias"
    std::string_view namesShown;            // for messages
    std::array<std::string_view, 5> names;  // lower case; empty ones unused
    const Unit* units;
    std::size_t unitCount;
    std::string_view unitsShown;
};

const QuantityRule kRules[kQuantityCount] = {
    {"bias",
     "V, Bias, VBias, Vg or Vgate",
     {"v", "bias", "vbias", "vg", "vgate"},
     kBiasUnits,
     std::size(kBiasUnits),
     "V, mV"},
    {"capacitance",
     "C, Cp or Cap",
     {"c", "cp", "cap"},
     kCapacitanceUnits,
     std::size(kCapacitanceUnits),
     "F, pF, nF, uF, fF"},
    {"conductance",
     "G or Gp",
     {"g", "gp"},
     kConductanceUnits,
     std::size(kConductanceUnits),
     "S, mS, uS, nS"},
    {"frequency",
     "f, Freq or Frequency",
     {"f", "freq", "frequency"},
     kFrequencyUnits,
     std::size(kFrequencyUnits),
     "Hz, kHz, MHz"},
};

struct Column {
    int index = -1;  // no column
    int powerOfTen = 0;
    std::string_view header;
};

struct Header {
    std::array<Column, kQuantityCount> columns;
    std::size_t fieldCount = 0;
    std::string problem;  // a column that cannot be read as named
};

std::optional<Quantity> QuantityOfName(std::string_view name)
{
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int q = 0; q < kQuantityCount; ++q)
        for (const std::string_view known : kRules[q].names)
            if (!known.empty() && lower == known) return static_cast<Quantity>(q);
    return std::nullopt;
}

// The unit with "µ" (micro sign, Greek mu, Latin-1's micro sign) as "u".
std::string PlainUnit(std::string_view unit)
{
    std::string plain;
    for (std::size_t i = 0; i < unit.size(); ++i) {
        const std::string_view rest = unit.substr(i);
        if (rest.substr(0, 2) == "\xC2\xB5" || rest.substr(0, 2) == "\xCE\xBC") {
            plain += 'u';
            ++i;
        } else if (rest.front() == '\xB5') {
            plain += 'u';
        } else {
            plain += rest.front();
        }
    }
    return plain;
}

std::optional<int> PowerOfUnit(const QuantityRule& rule, std::string_view unit)
{
    const std::string plain = PlainUnit(unit);
    for (std::size_t k = 0; k < rule.unitCount; ++k)
        if (plain == rule.units[k].text) return rule.units[k].powerOfTen;
    return std::nullopt;
}

// Which quantity a header field names, and in what unit; no quantity for
// another column.
void ReadHeaderField(std::string_view field, int index, Header& header)
{
    std::string_view name = field;
    std::string_view unit;
    bool bracketed = false;
    if (!field.empty() && (field.back() == ']' || field.back() == ')')) {
        const std::size_t open = field.rfind(field.back() == ']' ? '[' : '(');
        if (open != std::string_view::npos) {
            name = Trimmed(field.substr(0, open));
            unit = Trimmed(field.substr(open + 1, field.size() - open - 2));
            bracketed = true;
        }
    } else if (const std::size_t underscore = field.rfind('_');
               underscore != std::string_view::npos) {
        name = field.substr(0, underscore);
        unit = field.substr(underscore + 1);
    }
    const std::optional<Quantity> quantity = QuantityOfName(name);
    if (!quantity) return;
    const QuantityRule& rule = kRules[*quantity];
    std::optional<int> power = 0;
    if (bracketed || !unit.empty()) power = PowerOfUnit(rule, unit);
    if (!power && !bracketed) return;
    // Named as a column, with a unit that cannot be read: the header is
    // found, and refused for it.
    if (!power && header.problem.empty())
        header.problem = "the unit " + Quoted(unit) + " of column " + Quoted(field) + " is not a " +
                         std::string(rule.what) + " unit (" + std::string(rule.unitsShown) + ")";
    Column& column = header.columns[*quantity];
    if (column.index >= 0) {
        if (header.problem.empty())
            header.problem = "two " + std::string(rule.what) + " columns, " +
                             Quoted(column.header) + " and " + Quoted(field);
        return;
    }
    column = Column{index, power.value_or(0), field};
}

char SeparatorOf(std::string_view line)
{
    if (line.find('\t') != std::string_view::npos) return '\t';
    if (line.find(';') != std::string_view::npos) return ';';
    return ',';
}

// The fields, without the empty one after a separator that ends the line.
void LineFields(std::string_view line, char separator, std::vector<std::string_view>& fields)
{
    SplitFields(line, separator, fields);
    // Blanks only: a TAB may be the separator.
    if (fields.size() > 1 && fields.back().empty() && Trimmed(line, " ").back() == separator)
        fields.pop_back();
}

Header ReadHeader(const std::vector<std::string_view>& fields)
{
    Header header;
    header.fieldCount = fields.size();
    for (std::size_t i = 0; i < fields.size(); ++i)
        ReadHeaderField(fields[i], static_cast<int>(i), header);
    return header;
}

bool AllNumbers(const std::vector<std::string_view>& fields, bool decimalComma)
{
    if (fields.size() < 2) return false;
    for (const std::string_view field : fields)
        if (!FieldNumber(field, decimalComma)) return false;
    return true;
}

std::string MissingColumns(const Header& header)
{
    std::string missing;
    for (const Quantity q : {kBiasColumn, kCapacitanceColumn}) {
        if (header.columns[q].index >= 0) continue;
        missing += missing.empty() ? "no " : " and no ";
        missing +=
            std::string(kRules[q].what) + " column (" + std::string(kRules[q].namesShown) + ")";
    }
    return missing;
}

double Scaled(double value, int powerOfTen)
{
    static constexpr double kPowers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Dividing by an exact power of ten keeps "1.5" pF at the double
    // nearest 1.5e-12 where multiplying by 1e-12 (itself rounded) need not.
    return powerOfTen < 0 ? value / kPowers[-powerOfTen] : value * kPowers[powerOfTen];
}

// "100 kHz", "1.5 MHz", "50 Hz".
std::string FrequencyText(double hertz)
{
    const auto shown = [](double value, const char* unit) {
        return std::string(Trimmed(SignedDecimal(value))) + " " + unit;
    };
    if (hertz >= 1e6) return shown(hertz / 1e6, "MHz");
    if (hertz >= 1e3) return shown(hertz / 1e3, "kHz");
    return shown(hertz, "Hz");
}

}  // namespace

RunFileReading ReadInstrumentTableLines(const std::string& path, TextLineCursor lines)
{
    std::vector<std::string_view> fields;
    std::optional<Header> header;
    char separator = ',';
    std::optional<TextLine> lastText;
    TextLine line;
    int headerLine = 0;
    while (!header && lines.Next(line)) {
        if (Trimmed(line.text).empty() || line.text.front() == '#') continue;
        separator = SeparatorOf(line.text);
        LineFields(line.text, separator, fields);
        Header read = ReadHeader(fields);
        if (read.columns[kBiasColumn].index >= 0 && read.columns[kCapacitanceColumn].index >= 0) {
            if (!read.problem.empty()) return Refusal(path, line.number, std::move(read.problem));
            if (read.columns[kConductanceColumn].index < 0)
                return Refusal(path, line.number,
                               "the header names no conductance column (G or Gp); a G of 0 S "
                               "would be a reading that was never made");
            header = std::move(read);
            headerLine = line.number;
        } else if (AllNumbers(fields, separator == ';')) {
            if (!lastText)
                return Refusal(path, line.number,
                               "the table has no header: a line before the numbers must name "
                               "the columns, among them a bias column (V, Bias, VBias, Vg or "
                               "Vgate) and a capacitance column (C, Cp or Cap)");
            LineFields(lastText->text, SeparatorOf(lastText->text), fields);
            return Refusal(path, lastText->number,
                           "the header names " + MissingColumns(ReadHeader(fields)));
        } else {
            lastText = line;
        }
    }
    if (!header)
        return Refusal(path, 0,
                       "no line names the columns of a table: a bias column (V, Bias, VBias, "
                       "Vg or Vgate) and a capacitance column (C, Cp or Cap)");

    const bool decimalComma = separator == ';';
    const Column& frequency = header->columns[kFrequencyColumn];
    RunFileReading reading;
    // The run of each frequency, in the order the frequencies first appear.
    std::unordered_map<double, std::size_t> runOfFrequency;
    while (lines.Next(line)) {
        if (Trimmed(line.text).empty() || line.text.front() == '#') continue;
        LineFields(line.text, separator, fields);
        if (fields.size() != header->fieldCount)
            return Refusal(path, line.number,
                           std::to_string(fields.size()) + " fields where the header (line " +
                               std::to_string(headerLine) + ") has " +
                               std::to_string(header->fieldCount));
        std::array<double, kQuantityCount> values{};
        for (int q = 0; q < kQuantityCount; ++q) {
            const Column& column = header->columns[q];
            if (column.index < 0) continue;
            const std::string_view field = fields[static_cast<std::size_t>(column.index)];
            const std::optional<double> value = FieldNumber(field, decimalComma);
            if (!value)
                return Refusal(
                    path, line.number,
                    Quoted(field) + " in column " + Quoted(column.header) + " is not a number");
            values[q] = Scaled(*value, column.powerOfTen);
            if (!std::isfinite(values[q]))
                return Refusal(path, line.number,
                               Quoted(field) + " in column " + Quoted(column.header) +
                                   " is beyond the range of a number");
        }
        std::size_t run = 0;
        if (frequency.index >= 0) {
            if (!(values[kFrequencyColumn] > 0))
                return Refusal(path, line.number,
                               "the frequency " +
                                   Quoted(fields[static_cast<std::size_t>(frequency.index)]) +
                                   " is not above 0");
            const auto [found, added] =
                runOfFrequency.emplace(values[kFrequencyColumn], reading.runs.size());
            run = found->second;
            if (added && reading.runs.size() == kMostRunsInAFile)
                return Refusal(path, line.number,
                               "the table holds more than " + std::to_string(kMostRunsInAFile) +
                                   " frequencies: its frequency column is not one of C-V curves");
            if (added) reading.runs.emplace_back().frequencyHertz = values[kFrequencyColumn];
        } else if (reading.runs.empty()) {
            reading.runs.emplace_back();
        }
        reading.runs[run].points.push_back(
            {values[kBiasColumn], values[kCapacitanceColumn], values[kConductanceColumn]});
    }
    if (reading.runs.empty())
        return Refusal(
            path, 0,
            "the table holds no rows after its header (line " + std::to_string(headerLine) + ")");
    for (StoredRun& run : reading.runs) {
        run.source = RunSource::OtherInstrument;
        run.path = path;
        if (reading.runs.size() > 1) run.partOfFile = FrequencyText(*run.frequencyHertz);
    }
    return reading;
}

}  // namespace quillon
