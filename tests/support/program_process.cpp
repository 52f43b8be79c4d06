#include "tests/support/program_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace quillon::testing {

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          int limitMilliseconds)
{
    char outPath[] = "/tmp/quillon-out-XXXXXX";
    char errPath[] = "/tmp/quillon-err-XXXXXX";
    const int outFd = ::mkstemp(outPath);
    const int errFd = ::mkstemp(errPath);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outFd);
    ::close(errFd);

    ProgramOutcome outcome;
    if (spawned == 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        } else if (WIFEXITED(status)) {
            outcome.exitStatus = WEXITSTATUS(status);
        }
    }
    outcome.out = Slurp(outPath);
    outcome.err = Slurp(errPath);
    std::remove(outPath);
    std::remove(errPath);
    return outcome;
}

}  // namespace quillon::testing
