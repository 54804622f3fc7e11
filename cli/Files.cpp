#include "cli/Files.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velgarde {

std::string ErrnoText() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

#if defined(_WIN32)

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                      0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr,
                        nullptr);
    return utf8;
}

namespace {

void SetErrnoFromLastError() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO; break;
    }
}

bool InfoFromHandle(HANDLE handle, FileInfo* info) {
    *info = FileInfo{};
    if (GetFileType(handle) != FILE_TYPE_DISK) return true;  // console, NUL, pipe
    BY_HANDLE_FILE_INFORMATION bi;
    if (!GetFileInformationByHandle(handle, &bi)) {
        SetErrnoFromLastError();
        return false;
    }
    info->directory = (bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->regular = !info->directory;
    info->size = (std::uint64_t{bi.nFileSizeHigh} << 32) | bi.nFileSizeLow;
    info->device = bi.dwVolumeSerialNumber;
    info->inode = (std::uint64_t{bi.nFileIndexHigh} << 32) | bi.nFileIndexLow;
    return true;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

std::FILE* CreateRemovableFile(const std::string& path) {
    const HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

bool StatPath(const std::string& path, FileInfo* info) {
    const HANDLE h = CreateFileW(Widen(path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return false;
    }
    const bool ok = InfoFromHandle(h, info);
    CloseHandle(h);
    return ok;
}

bool StatOpenFile(std::FILE* file, FileInfo* info) {
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return h != INVALID_HANDLE_VALUE && InfoFromHandle(h, info);
}

std::string ResolveLinks(const std::string& path) { return path; }

bool RenameOver(const std::string& from, const std::string& to) {
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    SetErrnoFromLastError();
    return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

void CopyModeTo(std::FILE*, const FileInfo&) {}

#else

namespace {

void FromStat(const struct stat& st, FileInfo* info) {
    *info = FileInfo{};
    info->regular = S_ISREG(st.st_mode);
    info->directory = S_ISDIR(st.st_mode);
    info->size = info->regular ? static_cast<std::uint64_t>(st.st_size) : 0;
    info->mode = static_cast<unsigned>(st.st_mode & 07777);
    info->owner = static_cast<unsigned>(st.st_uid);
    info->group = static_cast<unsigned>(st.st_gid);
    info->device = static_cast<std::uint64_t>(st.st_dev);
    info->inode = static_cast<std::uint64_t>(st.st_ino);
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* CreateRemovableFile(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

bool StatPath(const std::string& path, FileInfo* info) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    FromStat(st, info);
    return true;
}

bool StatOpenFile(std::FILE* file, FileInfo* info) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0) return false;
    FromStat(st, info);
    return true;
}

std::string ResolveLinks(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string target(4096, '\0');
        const ssize_t n = readlink(p.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return p;
        target.resize(static_cast<std::size_t>(n));
        const auto slash = p.find_last_of('/');
        if (target[0] != '/' && slash != std::string::npos) target = p.substr(0, slash + 1) + target;
        p = target;
    }
    return p;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

void CopyModeTo(std::FILE* file, const FileInfo& like) {
    const int fd = fileno(file);
    // Owner first: a change of owner may clear set-id bits that fchmod then sets.
    if (fchown(fd, like.owner, like.group) != 0) {
        // Not ours to give away: the new file stays the caller's.
    }
    if (fchmod(fd, static_cast<mode_t>(like.mode)) != 0) {
        // Best effort, as for cp -p.
    }
}

#endif

}  // namespace velgarde
