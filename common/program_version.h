// The program's version as the build gives it (the project version of
// CMakeLists.txt), for the records the program writes.
#pragma once

namespace quillon {

// "0.1".
const char* ProgramVersion();

}  // namespace quillon
