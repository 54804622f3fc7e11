// Another program run beside the tool (ffmpeg, ffprobe), with pipes to its
// stdin and stdout and its stderr collected. It never outlives the tool: on
// Linux it dies with it (PR_SET_PDEATHSIG), on Windows it runs in a job that
// closes with the tool, and an interrupt ends it before the tool's own
// cleanup (cli/Interrupt.h). It gets no terminal signals of its own: the
// tool decides when it stops.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace velgarde {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // ends a child still running and waits for it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path) with `args` (without argv[0]). A stdin or
    // stdout not piped is the null device. False, with the reason, if it
    // could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args, bool pipeStdin,
               bool pipeStdout, std::string* error);
    // Before Start (POSIX): `file` is also the child's descriptor 3, which
    // it opens as /dev/fd/3, so that it writes the very file we created
    // whatever is done to its name meanwhile.
    void PassFile(std::FILE* file) { passed_ = file; }
    // Its stdin, for us to write, and its stdout, for us to read (binary);
    // null if not piped or closed.
    std::FILE* Stdin() { return stdin_; }
    std::FILE* Stdout() { return stdout_; }
    // Closing its stdin is its end of input; closing its stdout makes its
    // next write fail, which stops a program that writes until it is done.
    void CloseStdin();
    void CloseStdout();
    // Closes both pipes (we are done with it) and waits for it to end: its
    // exit status, or 128 + the signal that ended it.
    int Wait();
    void Kill();
    // What it wrote to stderr (the first 64 KiB), complete once Wait returned.
    const std::string& Messages() const { return messages_; }
    bool Running() const;

private:
    void CollectMessages(std::FILE* err);

#if defined(_WIN32)
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
    int status_ = -1;
    std::FILE* passed_ = nullptr;
    std::FILE* stdin_ = nullptr;
    std::FILE* stdout_ = nullptr;
    std::thread reader_;
    std::string messages_;
};

// The line of ffmpeg's messages that says what went wrong, for a one-line
// report: the last line a library wrote ("[mp4 @ 0x...] ..."), without that
// prefix, else the last line; `fallback` if there is none.
std::string LastMessageLine(const std::string& messages, const std::string& fallback);

}  // namespace velgarde
