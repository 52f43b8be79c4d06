// How the simulated 4284A reads the arguments of its commands and writes
// the numbers of its answers, for every part of it that takes commands.
#pragma once

#include <string>

namespace quillon {

// "ON", "1" or any other number but 0.
bool IsOnArgument(const std::string& argument);

// A value with an optional prefix on its unit: "50mV", "1.5V", "0.2",
// "100KHZ", "1MAHZ" (the meter's mega).
double ValueOfQuantity(const std::string& argument);

// The meter's ASCII number field: +1.23456E-10.
std::string MeterNumberField(double value);

}  // namespace quillon
