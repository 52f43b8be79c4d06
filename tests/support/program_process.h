// The program itself, started as a user's shell would start it: its exit
// status and what it wrote to its two streams. For what only the whole
// process shows (the choice of bus at start-up, line ends on a terminal,
// two instances at once).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon::testing {

struct ProgramOutcome {
    int exitStatus = -1;  // -1 when it did not end in time and was killed
    std::string out;
    std::string err;
};

// One start of the program; several may run at once.
class ProgramProcess {
public:
    ProgramProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // Waits at most `limitMilliseconds` for the end, then kills it.
    ProgramOutcome Wait(int limitMilliseconds = 30000);

private:
    std::string outPath_;
    std::string errPath_;
    pid_t child_ = -1;
};

inline ProgramOutcome RunProgram(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 int limitMilliseconds = 30000)
{
    return ProgramProcess(program, arguments).Wait(limitMilliseconds);
}

}  // namespace quillon::testing
