#include "host/velgarde/OutputFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velgarde {
namespace {

std::string ErrnoText() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// True when `path` names something other than a regular file that exists:
// a device such as /dev/null or NUL, or a named pipe.
bool IsSpecialFile(const std::string& path) {
#if defined(_WIN32)
    std::string lower;
    for (char c : path) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lower == "nul" || lower == "con" || lower.rfind("\\\\.\\", 0) == 0) return true;
    struct _stat64 st;
    return _stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG &&
           (st.st_mode & _S_IFMT) != _S_IFDIR;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

std::string OutputFile::TemporaryPath(const std::string& path) {
    return path + "." + std::to_string(ProcessId()) + ".tmp";
}

OutputFile::~OutputFile() { Abort(); }

bool OutputFile::Open(const std::string& path, std::string* error) {
    path_ = path;
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        file_ = stdout;
        isStdout_ = true;
    } else {
        if (!IsSpecialFile(path)) tempPath_ = TemporaryPath(path);
        const std::string& target = tempPath_.empty() ? path : tempPath_;
        errno = 0;
        file_ = std::fopen(target.c_str(), "wb");
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
        if (!tempPath_.empty()) std::remove(tempPath_.c_str());
        *error = why.rfind("cannot", 0) == 0 ? why : "write failed: " + why;
    }
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
        std::remove(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace velgarde
