// The velgarde command: options in, exit status out. Separate from main() so
// that tests can run it in-process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/FrontEnd.h"

namespace velgarde {

struct AppContext {
    const char* argv0 = "velgarde";
    std::FILE* messages = stderr;  // errors, progress, summary
    bool messagesAreTerminal = false;
    bool stdoutIsPipe = false;  // into another program, which shows its own progress
    bool stdoutIsTerminal = false;  // pictures and streams are not written there
};

// args excludes argv[0]. Streams "-" are the process's stdin and stdout.
int RunVelgarde(const std::vector<std::string>& args, const AppContext& context);

}  // namespace velgarde
