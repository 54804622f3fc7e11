#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "host/velgarde/App.h"

int main(int argc, char** argv) {
#if !defined(_WIN32)
    // A reader that goes away (ffmpeg stopping early) is a write error we
    // report, not a signal that kills us mid-message.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        velgarde::AppContext context;
        context.argv0 = argc > 0 ? argv[0] : "velgarde";
        context.messages = stderr;
        context.messagesAreTerminal = velgarde::StderrIsTerminal();
        return velgarde::RunVelgarde(args, context);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velgarde: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velgarde: %s\n", e.what());
    }
    return velgarde::ExitFailure;
}
