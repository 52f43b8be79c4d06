#include "tests/support/program_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
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

// A new empty file for one of the child's streams.
int TemporaryFile(std::string& path)
{
    char name[] = "/tmp/quillon-stream-XXXXXX";
    const int fd = ::mkstemp(name);
    path = name;
    return fd;
}

}  // namespace

ProgramProcess::ProgramProcess(const std::string& program,
                               const std::vector<std::string>& arguments)
{
    const int outFd = TemporaryFile(outPath_);
    const int errFd = TemporaryFile(errPath_);
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
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, pointers.data(), environ) == 0)
        child_ = child;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outFd);
    ::close(errFd);
}

ProgramProcess::~ProgramProcess()
{
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    std::remove(outPath_.c_str());
    std::remove(errPath_.c_str());
}

ProgramOutcome ProgramProcess::Wait(int limitMilliseconds)
{
    ProgramOutcome outcome;
    if (child_ > 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(child_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (ended == 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, &status, 0);
        } else if (WIFEXITED(status)) {
            outcome.exitStatus = WEXITSTATUS(status);
        }
        child_ = -1;
    }
    outcome.out = Slurp(outPath_);
    outcome.err = Slurp(errPath_);
    return outcome;
}

}  // namespace quillon::testing
