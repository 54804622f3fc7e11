// What every front end of the filter needs besides its own formats: the
// entry point of the velgarde_front_end library (docs/adding-a-front-end.md
// shows one built on it). With it a program
//   - starts as the tool does: signals, interrupts, its arguments as UTF-8;
//   - reports "program: what: problem" lines and the shared exit statuses;
//   - finds and loads the plug-in module with the five settings;
//   - opens its input (a file or stdin) and its output (cli/OutputFile.h:
//     complete or not at all, refusals of write-protected files, no bytes
//     to a terminal);
//   - takes the settings options (cli/SettingsOptions.h) and shows progress
//     under its own name (cli/Progress.h).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Files.h"
#include "cli/HostProcessor.h"

namespace velgarde {

enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1,       // input, output or plug-in error; the output is left as it was
    ExitUsage = 2,
    ExitDamagedInput = 3,  // the frames before the damage were written and kept
    ExitPipeClosed = 141,  // the reader of stdout went away (128 + SIGPIPE, as shells show it)
};

// First thing in main(): a reader that goes away and a file-size limit
// become write errors rather than deaths, Ctrl-C and SIGTERM remove an
// unfinished output (cli/Interrupt.h); the arguments after argv[0], on
// Windows from the wide command line as UTF-8, whatever the code page.
std::vector<std::string> StartFrontEnd(int argc, char** argv);

bool StderrIsTerminal();
bool StdoutIsPipe();      // into another program, which shows its own progress
bool StdoutIsTerminal();  // pictures and streams are not written there
// Why `output` is refused before anything is written ("-" on a terminal,
// unless `force`), or empty.
std::string OutputRefusal(const std::string& output, bool stdoutIsTerminal, bool force);

// One line per message: "program: what: problem".
class Reporter {
public:
    explicit Reporter(std::string program, std::FILE* messages = stderr, bool quiet = false)
        : program_(std::move(program)), messages_(messages), quiet_(quiet) {}
    // Says what failed and returns `status`, for `return report.Fail(...)`.
    int Fail(const std::string& what, const std::string& problem, int status = ExitFailure) const;
    // A whole line after the program's name, and `status`.
    int Say(const std::string& line, int status = ExitFailure) const;
    // What the user should know, unless quiet.
    void Warn(const std::string& what, const std::string& problem) const;
    const std::string& Program() const { return program_; }
    std::FILE* Messages() const { return messages_; }
    bool Quiet() const { return quiet_; }

private:
    std::string program_;
    std::FILE* messages_;
    bool quiet_;
};

// The plug-in module: `given` (--plugin) if not empty, else the one
// installed with the program (cli/HostProcessor.h: beside it, or
// ../lib/velgarde). False, with the places looked at, when none is there.
bool FindPluginModule(const std::string& given, std::string* module, std::string* error);
// Finds and loads it with the five settings (in the plug-in table's order)
// on `threads` workers (0: one per processor); the error starts with the
// module's path.
bool OpenPlugin(HostProcessor* processor, const std::string& given, int threads,
                const std::array<std::int32_t, 5>& tracks, std::string* error);

// The input: a file, or "-" for stdin (binary on Windows).
class InputFile {
public:
    bool Open(const std::string& path, std::string* error);
    // "stdin" or the path, for messages.
    const std::string& Name() const { return name_; }
    std::FILE* File() const { return file_; }
    ByteSource& Source() { return *source_; }
    // What it is: a regular file has a size and an identity (the output
    // must not be the same file).
    const FileInfo& Info() const { return info_; }
    // Closes the file (stdin stays open); Source() still says whether
    // reading failed.
    void Close();

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned_{nullptr, std::fclose};
    std::FILE* file_ = nullptr;
    std::unique_ptr<FileSource> source_;
    FileInfo info_;
    std::string name_;
};

}  // namespace velgarde
