#include "cli/OutputFile.h"

#include <cerrno>

#include "cli/Files.h"
#include "cli/Interrupt.h"
#include "cli/TemporaryNames.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace velgarde {
namespace {

#if defined(_WIN32)
bool IsDeviceName(const std::string& path) {
    std::string lower;
    for (char c : path) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "nul" || lower == "con" || lower.rfind("\\\\.\\", 0) == 0;
}
#else
bool IsDeviceName(const std::string&) { return false; }
#endif

// Creates a temporary file beside `path` under a fresh name; a name already
// taken (by another run or by anything placed there) is never reused.
std::FILE* CreateTemporary(const std::string& path, unsigned mode, std::string* tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Held so that the file never exists without the note to remove it.
        InterruptsHeld held;
        *tempPath = NewTemporaryPath(path);
        errno = 0;
        if (std::FILE* file = CreateNewFile(*tempPath, mode)) {
            SetInterruptCleanup(*tempPath);
            return file;
        }
        if (errno != EEXIST) break;
    }
    tempPath->clear();
    return nullptr;
}

}  // namespace

OutputFile::~OutputFile() { Abort(); }

std::vector<std::string> OutputFile::TakeNotes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

int OutputFile::ErrorCode() const {
    if (errorCode_ != 0) return errorCode_;
    return sink_ != nullptr ? sink_->ErrorCode() : 0;
}

bool OutputFile::Open(const std::string& path, std::string* error, bool force) {
    Abort();
    notes_.clear();
    errorCode_ = 0;
    links_ = 1;
    readOnly_ = false;
    programWrites_ = false;
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        path_ = path;
        file_ = stdout;
        isStdout_ = true;
    } else {
        isStdout_ = false;
        givenPath_ = path;
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
            if (file_ == nullptr) {
                *error = "cannot create: " + ErrnoText();
                return false;
            }
        } else {
            if (exists && !MayWrite(path_, existing) && !force) {
                *error = "is write-protected; give --force to replace it";
                return false;
            }
            const std::string folder = FolderOf(path_);
            RemoveLeftovers(folder, &notes_);
            // A new file gets the usual mode (the umask applies); one that
            // replaces another starts private and then gets that one's.
            file_ = CreateTemporary(path_, exists ? 0600 : 0666, &tempPath_);
            if (file_ == nullptr) {
                *error = "cannot create: " + ErrnoText() + " in its folder " + folder +
                         " (the output is written there under a temporary name first)";
                return false;
            }
            if (exists) {
                CopyModeTo(file_, existing);
                std::vector<std::string> lost;
                CopyExtendedAttributes(path_, file_, &lost);
                for (const auto& name : lost)
                    notes_.push_back(path + ": could not keep the extended attribute " + name);
                links_ = existing.links;
                readOnly_ = existing.readOnly;
            }
        }
    }
    // Large writes go straight through; frames are written whole anyway.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    sink_ = std::make_unique<FileSink>(file_);
    return true;
}

bool OutputFile::OpenForProgram(const std::string& path, std::string* error, bool force) {
    if (!Open(path, error, force)) return false;
    if (tempPath_.empty()) {
        Abort();
        *error = "is not a file: a video file is written to a file (a pipe takes YUV4MPEG2)";
        return false;
    }
#if defined(_WIN32)
    // Closed, so that the program may open it for writing; Commit reopens
    // it to flush it.
    std::fclose(file_);
    file_ = nullptr;
#endif
    programWrites_ = true;
    return true;
}

std::string OutputFile::ProgramPath() const {
#if defined(_WIN32)
    return tempPath_;
#else
    return "/dev/fd/3";
#endif
}

bool OutputFile::Commit(std::string* error) {
#if defined(_WIN32)
    if (file_ == nullptr && programWrites_ && !tempPath_.empty()) file_ = OpenFile(tempPath_, "r+b");
#endif
    if (file_ == nullptr) {
        *error = "not open";
        return false;
    }
    std::string why;
    const auto failed = [&](const std::string& what) {
        if (errorCode_ == 0) errorCode_ = errno;
        if (why.empty()) why = what + ErrnoText();
    };
    errno = 0;
    if (std::fflush(file_) != 0) failed("write failed: ");
    // The data on the disk before the name points at it.
    errno = 0;
    if (why.empty() && !tempPath_.empty() && !SyncFile(file_)) failed("write failed: ");
    if (!isStdout_) {
        errno = 0;
        if (std::fclose(file_) != 0) failed("write failed: ");
    }
    file_ = nullptr;
    if (why.empty() && !tempPath_.empty()) {
        // Windows does not replace a read-only file, even when asked to.
        if (readOnly_) SetReadOnly(path_, false);
        BeginReplacingOutput();
        errno = 0;
        if (RenameOver(tempPath_, path_)) {
            OutputReplaced();
            errno = 0;
            if (!SyncFolderOf(path_))
                notes_.push_back(givenPath_ + ": replaced, but its folder could not be flushed to the disk: " +
                                 ErrnoText());
            if (readOnly_) SetReadOnly(path_, true);
            if (links_ > 1)
                notes_.push_back(givenPath_ + ": was one of " + std::to_string(links_) +
                                 " hard links to a file; this name now has the new content, the "
                                 "others keep the old");
        } else {
            failed("cannot replace it: ");
            // Not replaced: an interrupt from here on removes the file again.
            SetInterruptCleanup(tempPath_);
            if (readOnly_) SetReadOnly(path_, true);
        }
    }
    if (!why.empty()) {
        if (!tempPath_.empty()) RemoveFile(tempPath_);
        *error = why;
    }
    if (!tempPath_.empty()) SetInterruptCleanup("");
    tempPath_.clear();
    return why.empty();
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
