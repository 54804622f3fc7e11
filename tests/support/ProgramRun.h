// Running a program as a user would, for the tests of front ends (POSIX):
// its stdin fed from bytes, a file or a terminal, stdout and stderr
// collected, and its status read as a shell shows it (128 + the signal that
// ended it). Start/Finish split the run for tests that signal it meanwhile.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace velgarde_test {

struct Program {
    Program(std::vector<std::string> arguments = {}) : args(std::move(arguments)) {}
    std::vector<std::string> args;  // args[0] is the program's path
    std::string input;              // fed to stdin through a pipe, unless stdinFd >= 0
    int stdinFd = -1;               // a descriptor to use as stdin instead
    int stdoutFd = -1;              // ... as stdout instead of collecting it
    int stderrFd = -1;              // ... as stderr (a terminal, say)
    bool asNobody = false;          // as user 65534 when the tests run as root
    long long fileSizeLimit = -1;   // RLIMIT_FSIZE in bytes, for a full disk; < 0: none
};

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

struct RunningProgram {
    pid_t pid = -1;
    int out = -1, err = -1;  // our ends of its collected stdout and stderr, -1 if not collected
};

RunningProgram StartProgram(const Program& program);
// Waits for it, collecting what it writes meanwhile.
ProgramResult FinishProgram(RunningProgram& running);
ProgramResult RunProgram(const Program& program);

// The processes whose parent is `pid` (Linux: from /proc).
std::vector<pid_t> ChildrenOf(pid_t pid);
bool ProcessExists(pid_t pid);

// A pseudo-terminal: the program gets `terminal`; the test reads `master`.
// Both -1 where there is none.
struct PseudoTerminal {
    int master = -1, terminal = -1;
    PseudoTerminal();
    ~PseudoTerminal();
    // What reached the terminal so far (non-blocking).
    std::string Read();
};

}  // namespace velgarde_test
