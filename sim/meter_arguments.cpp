#include "sim/meter_arguments.h"

#include "common/text_number.h"

namespace quillon {

bool IsOnArgument(const std::string& argument)
{
    return argument == "ON" || NumberOfText(argument) != 0.0;
}

double ValueOfQuantity(const std::string& argument)
{
    const double number = NumberOfText(argument);
    const auto unit = argument.find_first_of("MKV", argument.find_first_of("0123456789."));
    if (unit != std::string::npos && argument.compare(unit, 2, "MV") == 0) return number / 1000.0;
    if (unit != std::string::npos && argument.compare(unit, 3, "KHZ") == 0) return number * 1000.0;
    if (unit != std::string::npos && argument.compare(unit, 3, "MAH") == 0)
        return number * 1e6;  // MAHZ
    return number;
}

std::string MeterNumberField(double value)
{
    const std::string number = FormatNumber(value, "0.00000E+00");
    return number[0] == '-' ? number : "+" + number;
}

}  // namespace quillon
