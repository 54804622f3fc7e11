#include "cli/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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
    info->links = bi.nNumberOfLinks;
    info->readOnly = (bi.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info->inode = (std::uint64_t{bi.nFileIndexHigh} << 32) | bi.nFileIndexLow;
    return true;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

std::FILE* CreateNewFile(const std::string& path, unsigned) {
    // CREATE_NEW fails on any name already there, a link included.
    const HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
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
    // Write-through: the call returns once the move is on the disk.
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    SetErrnoFromLastError();
    return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

bool SyncFile(std::FILE* file) {
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (h != INVALID_HANDLE_VALUE && FlushFileBuffers(h)) return true;
    SetErrnoFromLastError();
    return false;
}

bool SyncFolderOf(const std::string&) { return true; }

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(Widen(folder + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
}

bool MayWrite(const std::string&, const FileInfo& info) { return !info.readOnly; }

void CopyModeTo(std::FILE*, const FileInfo&) {}

void CopyExtendedAttributes(const std::string&, std::FILE*, std::vector<std::string>*) {}

void SetReadOnly(const std::string& path, bool readOnly) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(wide.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                              : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

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
    info->links = static_cast<std::uint64_t>(st.st_nlink);
}

// fsync where the file system has nothing to sync (EINVAL) is no failure.
bool Synced(int result) { return result == 0 || errno == EINVAL || errno == ENOTSUP; }

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* CreateNewFile(const std::string& path, unsigned mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode));
    if (fd < 0) return nullptr;
    // Held until the file is closed: a run that cleans up after killed runs
    // leaves a locked file alone. Not every file system locks; that is
    // covered by the age those runs also require.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Unlocked, as said.
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int saved = errno;
        close(fd);
        unlink(path.c_str());
        errno = saved;
    }
    return file;
}

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

bool SyncFile(std::FILE* file) { return Synced(fsync(fileno(file))); }

bool SyncFolderOf(const std::string& path) {
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = Synced(fsync(fd));
    const int saved = errno;
    close(fd);
    errno = saved;
    return ok;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool MayWrite(const std::string& path, const FileInfo&) {
    // A read-only file system is no protection of this file: creating the
    // temporary file fails then, and says why.
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || (errno != EACCES && errno != EPERM);
}

void SetReadOnly(const std::string&, bool) {}

void CopyExtendedAttributes(const std::string& likePath, std::FILE* file,
                            std::vector<std::string>* lost) {
    const int fd = fileno(file);
    const auto names = [](ssize_t size, auto list) {
        std::vector<std::string> out;
        if (size <= 0) return out;
        std::string buffer(static_cast<std::size_t>(size), '\0');
        size = list(&buffer[0], buffer.size());
        if (size <= 0) return out;
        buffer.resize(static_cast<std::size_t>(size));
        for (std::size_t at = 0; at < buffer.size();) {
            const std::size_t end = buffer.find('\0', at);
            out.push_back(buffer.substr(at, end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return out;
    };
    const auto ofLike = names(listxattr(likePath.c_str(), nullptr, 0), [&](char* b, std::size_t n) {
        return listxattr(likePath.c_str(), b, n);
    });
    bool hasAcl = false;
    for (const auto& name : ofLike) {
        hasAcl = hasAcl || name == "system.posix_acl_access";
        std::vector<char> value(static_cast<std::size_t>(std::max<ssize_t>(
            getxattr(likePath.c_str(), name.c_str(), nullptr, 0), 0)));
        const ssize_t n = getxattr(likePath.c_str(), name.c_str(), value.data(), value.size());
        if (n < 0 || fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(n), 0) != 0)
            lost->push_back(name + " (" + ErrnoText() + ")");
    }
    // A folder's default ACL gives the new file an ACL the old one had not.
    if (!hasAcl && fremovexattr(fd, "system.posix_acl_access") == 0) {
        struct stat st;
        if (stat(likePath.c_str(), &st) == 0 && fchmod(fd, st.st_mode & 07777) != 0) {
            // Best effort, as in CopyModeTo.
        }
    }
}

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

std::string FolderOf(const std::string& path) {
#if defined(_WIN32)
    const auto slash = path.find_last_of("/\\");
#else
    const auto slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace velgarde
