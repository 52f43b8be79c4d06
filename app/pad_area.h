// The pad-area calculator's arithmetic and its five stored inputs, without
// widgets: rectangle width, height and diameter in um, and the two
// correction ratios.
#pragma once

#include <array>
#include <string>

#include "platform/program_folder.h"

namespace quillon {

// Indices of the calculator's boxes, which are also their settings keys.
enum AreaBox : int {
    kRectangleWidth = 0,
    kRectangleHeight = 1,
    kCircleDiameter = 2,
    kRectangleRatio = 3,
    kCircleRatio = 4,
};
inline constexpr int kAreaBoxCount = 5;
using AreaTexts = std::array<std::string, kAreaBoxCount>;

// What the boxes show before anything has been stored.
inline const AreaTexts kAreaDesignTexts = {"100", "100", "400", "1.00", "1.00"};

// The stored inputs as the calculator shows them when it opens: each rounded
// down to a whole number ("1.00" shows 1, 0.85 shows 0, -2.5 shows -3). A
// stored value that is missing, empty or not a number as a whole shows the
// box's design text.
AreaTexts ReadAreaValues(const ProgramFolder& folder);
// Stores the five texts exactly as typed.
void WriteAreaValues(const ProgramFolder& folder, const AreaTexts& texts);

// The areas in um2, from the boxes' texts (a text that does not start with
// a number counts as 0), in the signed decimal form the pad-area box shows.
std::string RectangleAreaText(const AreaTexts& texts);
// The circle uses 3.1416, the value the pads have always been computed with.
std::string CircleAreaText(const AreaTexts& texts);

}  // namespace quillon
