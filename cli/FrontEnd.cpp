#include "cli/FrontEnd.h"

#include <cerrno>
#include <csignal>

#include "cli/Interrupt.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velgarde {

std::vector<std::string> StartFrontEnd(int argc, char** argv) {
#if !defined(_WIN32)
    // A reader that goes away (ffmpeg stopping early) is a write error we
    // report, not a signal that kills us mid-message.
    std::signal(SIGPIPE, SIG_IGN);
    // Likewise a file-size limit: a write error that removes the temporary
    // file, not a death that leaves it.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    InstallInterruptHandlers();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
#if defined(_WIN32)
    // File names in any script reach the file functions whole.
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        args.clear();
        for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
#endif
    return args;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool StdoutIsTerminal() {
#if defined(_WIN32)
    // A console, not merely a character device (NUL is one too).
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool StdoutIsPipe() {
#if defined(_WIN32)
    return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
#else
    struct stat st;
    return fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode);
#endif
}

std::string OutputRefusal(const std::string& output, bool stdoutIsTerminal, bool force) {
    if (output != "-" || !stdoutIsTerminal || force) return "";
    return "is a terminal, and picture or stream bytes are not written to one; redirect it "
           "(> FILE, or | another program) or give --force";
}

int Reporter::Fail(const std::string& what, const std::string& problem, int status) const {
    std::fprintf(messages_, "%s: %s: %s\n", program_.c_str(), what.c_str(), problem.c_str());
    return status;
}

int Reporter::Say(const std::string& line, int status) const {
    std::fprintf(messages_, "%s: %s\n", program_.c_str(), line.c_str());
    return status;
}

void Reporter::Warn(const std::string& what, const std::string& problem) const {
    if (!quiet_) std::fprintf(messages_, "%s: %s: %s\n", program_.c_str(), what.c_str(), problem.c_str());
}

bool FindPluginModule(const std::string& given, std::string* module, std::string* error) {
    if (!given.empty()) {
        *module = given;
        return true;
    }
    const std::vector<std::string> candidates = DefaultModulePaths(nullptr);
    for (const auto& path : candidates) {
        FileInfo info;
        if (StatPath(path, &info) && info.regular) {
            *module = path;
            return true;
        }
    }
    *module = candidates.front();
    if (candidates.size() == 1) return true;  // the host names the path it tried
    std::string looked;
    for (const auto& path : candidates) looked += (looked.empty() ? "" : " and ") + path;
    *error = "no plug-in module: looked for " + looked + " (give one with --plugin)";
    return false;
}

bool OpenPlugin(HostProcessor* processor, const std::string& given, int threads,
                const std::array<std::int32_t, 5>& tracks, std::string* error) {
    std::string module;
    if (!FindPluginModule(given, &module, error)) return false;
    if (processor->Open(module, threads, tracks, error)) return true;
    // The host's messages may start with the path already.
    if (error->compare(0, module.size() + 2, module + ": ") != 0) *error = module + ": " + *error;
    return false;
}

bool InputFile::Open(const std::string& path, std::string* error) {
    Close();
    source_.reset();
    info_ = FileInfo{};
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file_ = stdin;
        name_ = "stdin";
    } else {
        errno = 0;
        owned_.reset(OpenFile(path, "rb"));
        name_ = path;
        if (owned_ == nullptr) {
            *error = "cannot open: " + ErrnoText();
            return false;
        }
        file_ = owned_.get();
    }
    // Redirected from a file, stdin has an identity and a size too.
    if (!StatOpenFile(file_, &info_)) info_ = FileInfo{};
    source_ = std::make_unique<FileSource>(file_);
    return true;
}

void InputFile::Close() {
    // The source stays, for what it says about reading: a closed file is
    // not read again.
    owned_.reset();
    file_ = nullptr;
}

}  // namespace velgarde
