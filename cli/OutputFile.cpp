#include "cli/OutputFile.h"

#include <cerrno>

#include "cli/Files.h"
#include "cli/Interrupt.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace velgarde {
namespace {

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

#if defined(_WIN32)
bool IsDeviceName(const std::string& path) {
    std::string lower;
    for (char c : path) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "nul" || lower == "con" || lower.rfind("\\\\.\\", 0) == 0;
}
#else
bool IsDeviceName(const std::string&) { return false; }
#endif

}  // namespace

std::string OutputFile::TemporaryPath(const std::string& path) {
    return ResolveLinks(path) + "." + std::to_string(ProcessId()) + ".tmp";
}

OutputFile::~OutputFile() { Abort(); }

bool OutputFile::Open(const std::string& path, std::string* error) {
    Abort();
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        path_ = path;
        file_ = stdout;
        isStdout_ = true;
    } else {
        path_ = ResolveLinks(path);
        FileInfo existing;
        const bool exists = StatPath(path_, &existing);
        if (exists && existing.directory) {
            *error = "cannot create: is a folder";
            return false;
        }
        errno = 0;
        if (IsDeviceName(path_) || (exists && !existing.regular)) {
            file_ = OpenFile(path_, "wb");
        } else {
            tempPath_ = TemporaryPath(path_);
            // Registered before the file exists (the name holds our process
            // id), so an interrupt at any moment after creation removes it.
            SetInterruptCleanup(tempPath_);
            file_ = CreateRemovableFile(tempPath_);
            if (file_ != nullptr) {
                if (exists) CopyModeTo(file_, existing);
            } else {
                SetInterruptCleanup("");
            }
        }
        if (file_ == nullptr) {
            *error = "cannot create: " + ErrnoText();
            tempPath_.clear();
            return false;
        }
    }
    // Large writes go straight through; frames are written whole anyway.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    sink_ = std::make_unique<FileSink>(file_);
    return true;
}

bool OutputFile::Commit(std::string* error) {
    if (file_ == nullptr) {
        *error = "not open";
        return false;
    }
    errno = 0;
    bool ok = std::fflush(file_) == 0;
    std::string why = ok ? "" : ErrnoText();
    if (!isStdout_) {
        errno = 0;
        if (std::fclose(file_) != 0 && ok) {
            ok = false;
            why = ErrnoText();
        }
    }
    file_ = nullptr;
    if (ok && !tempPath_.empty()) {
        errno = 0;
        if (!RenameOver(tempPath_, path_)) {
            ok = false;
            why = "cannot replace: " + ErrnoText();
        }
    }
    if (!ok) {
        if (!tempPath_.empty()) RemoveFile(tempPath_);
        *error = why.rfind("cannot", 0) == 0 ? why : "write failed: " + why;
    }
    if (!tempPath_.empty()) SetInterruptCleanup("");
    tempPath_.clear();
    return ok;
}

void OutputFile::Abort() {
    if (file_ != nullptr) {
        if (isStdout_)
            std::fflush(file_);  // whole frames written so far still go out
        else
            std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        RemoveFile(tempPath_);
        SetInterruptCleanup("");
        tempPath_.clear();
    }
}

}  // namespace velgarde
