// The program itself, started as a user's shell would start it: its exit
// status and what it wrote to its two streams. For what only the whole
// process shows (the choice of bus at start-up, line ends on a terminal,
// two instances at once).
#pragma once

#include <string>
#include <vector>

namespace quillon::testing {

struct ProgramOutcome {
    int exitStatus = -1;  // -1 when it did not end in time and was killed
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` and waits at most `limitMilliseconds`.
ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          int limitMilliseconds = 30000);

}  // namespace quillon::testing
