#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/App.h"
#include "cli/Interrupt.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>

#include "cli/Files.h"
#endif

int main(int argc, char** argv) {
#if !defined(_WIN32)
    // A reader that goes away (ffmpeg stopping early) is a write error we
    // report, not a signal that kills us mid-message.
    std::signal(SIGPIPE, SIG_IGN);
    // Likewise a file-size limit: a write error that removes the temporary
    // file, not a death that leaves it.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    velgarde::InstallInterruptHandlers();
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
#if defined(_WIN32)
        // The arguments as UTF-8 from the wide command line, whatever the
        // code page: file names in any script reach the file functions whole.
        int count = 0;
        if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
            args.clear();
            for (int i = 1; i < count; ++i) args.push_back(velgarde::Narrow(wide[i]));
            LocalFree(wide);
        }
        SetConsoleOutputCP(CP_UTF8);
#endif
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
