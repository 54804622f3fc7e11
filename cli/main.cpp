#include <cstdio>
#include <exception>
#include <new>

#include "cli/App.h"
#include "cli/FrontEnd.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args = velgarde::StartFrontEnd(argc, argv);
        velgarde::AppContext context;
        context.argv0 = argc > 0 ? argv[0] : "velgarde";
        context.messages = stderr;
        context.messagesAreTerminal = velgarde::StderrIsTerminal();
        context.stdoutIsPipe = velgarde::StdoutIsPipe();
        context.stdoutIsTerminal = velgarde::StdoutIsTerminal();
        return velgarde::RunVelgarde(args, context);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velgarde: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velgarde: %s\n", e.what());
    }
    return velgarde::ExitFailure;
}
