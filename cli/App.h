// The velgarde command: options in, exit status out. Separate from main() so
// that tests can run it in-process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velgarde {

enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1,       // input, output or plug-in error; the output is left as it was
    ExitUsage = 2,
    ExitDamagedInput = 3,  // the frames before the damage were written and kept
    ExitPipeClosed = 141,  // the reader of stdout went away (128 + SIGPIPE, as shells show it)
};

struct AppContext {
    const char* argv0 = "velgarde";
    std::FILE* messages = stderr;  // errors, progress, summary
    bool messagesAreTerminal = false;
    bool stdoutIsPipe = false;  // into another program, which shows its own progress
    bool stdoutIsTerminal = false;  // pictures and streams are not written there
};

// args excludes argv[0]. Streams "-" are the process's stdin and stdout.
int RunVelgarde(const std::vector<std::string>& args, const AppContext& context);

bool StderrIsTerminal();
bool StdoutIsPipe();
bool StdoutIsTerminal();

}  // namespace velgarde
