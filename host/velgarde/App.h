// The velgarde command: options in, exit status out. Separate from main() so
// that tests can run it in-process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velgarde {

enum ExitStatus { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

struct AppContext {
    const char* argv0 = "velgarde";
    std::FILE* messages = stderr;  // errors, progress, summary
    bool messagesAreTerminal = false;
};

// args excludes argv[0]. Streams "-" are the process's stdin and stdout.
int RunVelgarde(const std::vector<std::string>& args, const AppContext& context);

bool StderrIsTerminal();

}  // namespace velgarde
