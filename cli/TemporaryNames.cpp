#include "cli/TemporaryNames.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <random>

#include "cli/Files.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velgarde {
namespace {

const std::string kMarker = ".velgarde-";
const std::string kEnd = ".tmp";
constexpr std::size_t kRandomLetters = 12;
// Room for the marker within the 255 bytes most file systems allow.
constexpr std::size_t kMaxBaseBytes = 200;

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < (1u << 20)) return std::to_string((bytes + 1023) / 1024) + " KiB";
    return std::to_string((bytes + (1u << 19)) >> 20) + " MiB";
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "." ? name : folder + "/" + name;
}

// Removes `path` if no run has it; false if it is in use or not ours.
enum class Leftover { InUse, Removed, NotOurs };

#if defined(_WIN32)
Leftover RemoveIfUnused(const std::string& path, std::uint64_t* size) {
    const std::wstring wide = Widen(path);
    // Age first: a file written a moment ago may be between its close and
    // its rename, which an open here would make fail.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return Leftover::InUse;
    FILETIME nowFile;
    GetSystemTimeAsFileTime(&nowFile);
    ULARGE_INTEGER now, then;
    now.LowPart = nowFile.dwLowDateTime;
    now.HighPart = nowFile.dwHighDateTime;
    then.LowPart = data.ftLastWriteTime.dwLowDateTime;
    then.HighPart = data.ftLastWriteTime.dwHighDateTime;
    if (now.QuadPart < then.QuadPart + 10000000ull * kLeftoverSeconds) return Leftover::InUse;
    *size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    // A live run keeps its file open; opened here without sharing, the file
    // is nobody else's, and goes when this handle closes.
    const HANDLE h = CreateFileW(wide.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? Leftover::NotOurs : Leftover::InUse;
    CloseHandle(h);
    return Leftover::Removed;
}
#else
Leftover RemoveIfUnused(const std::string& path, std::uint64_t* size) {
    struct stat named;
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return Leftover::InUse;
    // Just created by a run that has not locked it yet, or written a moment ago.
    if (std::time(nullptr) - named.st_mtime < kLeftoverSeconds) return Leftover::InUse;
    *size = static_cast<std::uint64_t>(named.st_size);
    const bool ours = named.st_uid == geteuid();
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return ours ? Leftover::InUse : Leftover::NotOurs;
    Leftover result = Leftover::InUse;
    struct stat opened;
    // Not locked by a live run, and still the file that was looked at.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && opened.st_ino == named.st_ino &&
        opened.st_dev == named.st_dev)
        result = ours && unlink(path.c_str()) == 0 ? Leftover::Removed : Leftover::NotOurs;
    close(fd);
    return result;
}
#endif

}  // namespace

std::string NewTemporaryPath(const std::string& outputPath) {
#if defined(_WIN32)
    const auto slash = outputPath.find_last_of("/\\");
#else
    const auto slash = outputPath.find_last_of('/');
#endif
    std::string base = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    if (base.size() > kMaxBaseBytes) {
        base.resize(kMaxBaseBytes);
        // Cut before a whole UTF-8 character, never inside one.
        while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) base.pop_back();
        if (!base.empty() && (static_cast<unsigned char>(base.back()) & 0x80) != 0) base.pop_back();
    }
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string letters;
    for (std::size_t i = 0; i < kRandomLetters; ++i) letters += kLetters[random() % 62];
    const std::string name = base + kMarker + letters + kEnd;
    return slash == std::string::npos ? name : outputPath.substr(0, slash + 1) + name;
}

bool IsTemporaryName(const std::string& name) {
    const std::size_t tail = kMarker.size() + kRandomLetters + kEnd.size();
    if (name.size() < tail || name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0) return false;
    const std::size_t marker = name.size() - tail;
    if (name.compare(marker, kMarker.size(), kMarker) != 0) return false;
    for (std::size_t i = marker + kMarker.size(); i < name.size() - kEnd.size(); ++i)
        if (!IsLetterOrDigit(name[i])) return false;
    return true;
}

std::vector<std::string> TemporariesIn(const std::string& folder) {
    std::vector<std::string> paths;
    for (const auto& name : ListFolder(folder))
        if (IsTemporaryName(name)) paths.push_back(Join(folder, name));
    return paths;
}

void RemoveLeftovers(const std::string& folder, std::vector<std::string>* notes) {
    int removed = 0;
    std::uint64_t removedBytes = 0;
    for (const auto& path : TemporariesIn(folder)) {
        std::uint64_t size = 0;
        switch (RemoveIfUnused(path, &size)) {
        case Leftover::InUse: break;
        case Leftover::Removed:
            ++removed;
            removedBytes += size;
            break;
        case Leftover::NotOurs:
            notes->push_back(path + ": left by an interrupted run (" + SizeText(size) +
                             "); not ours to remove: remove it unless a run is still writing it");
            break;
        }
    }
    if (removed > 0)
        notes->push_back(folder + ": removed " + std::to_string(removed) + " temporary file" +
                         (removed == 1 ? "" : "s") + " left by interrupted runs (" + SizeText(removedBytes) +
                         ")");
}

}  // namespace velgarde
