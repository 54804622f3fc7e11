// The few file operations the tool needs, on paths in UTF-8 everywhere: on
// Windows they go through the wide-character functions, so that any Unicode
// file name works whatever the system's code page.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velgarde {

struct FileInfo {
    bool regular = false;    // a plain file (not a device, pipe or folder)
    bool directory = false;
    std::uint64_t size = 0;  // regular files only
    unsigned mode = 0;       // permission bits (POSIX)
    unsigned owner = 0, group = 0;
    std::uint64_t links = 1;  // names the file has (hard links)
    bool readOnly = false;    // Windows' read-only attribute
    // Identity: two names of one file (a link, another spelling) share it.
    std::uint64_t device = 0, inode = 0;
    bool SameFileAs(const FileInfo& o) const {
        return (inode != 0 || device != 0) && device == o.device && inode == o.inode;
    }
};

// fopen with a UTF-8 path; errno is set on failure.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Creates `path` for writing only if no file, folder or link is there yet
// (errno EEXIST otherwise), so that nothing placed there in advance is ever
// written through. `mode` is for the new file (the umask applies). Another
// thread may remove it while it is open; on POSIX it is locked (flock) as
// long as it is open, which tells other runs it is in use.
std::FILE* CreateNewFile(const std::string& path, unsigned mode);
// Follows symbolic links; false (errno set) if `path` does not exist.
bool StatPath(const std::string& path, FileInfo* info);
bool StatOpenFile(std::FILE* file, FileInfo* info);
// The file a chain of symbolic links ends at (the path itself if none),
// also when that file does not exist yet. POSIX only; Windows returns path.
std::string ResolveLinks(const std::string& path);
// Replaces `to` atomically; on Windows written through to the disk.
bool RenameOver(const std::string& from, const std::string& to);  // errno set
bool RemoveFile(const std::string& path);
// Flushes `file`'s data to the disk (fsync); errno set on failure.
bool SyncFile(std::FILE* file);
// Makes the names in `path`'s folder durable (fsync of the folder); a no-op
// where folders cannot be synced (Windows: the rename writes through).
bool SyncFolderOf(const std::string& path);
// The folder `path` is in ("." for a bare name).
std::string FolderOf(const std::string& path);
// Names in `folder` (without "." and ".."); empty if it cannot be read.
std::vector<std::string> ListFolder(const std::string& folder);
// Whether this user may write to the existing `path` (root may write to
// anything on POSIX, as for cp and rm).
bool MayWrite(const std::string& path, const FileInfo& info);
// Gives `file` the permission bits of `like` (and, where allowed, its owner);
// best effort. Then the extended attributes of `likePath`, its access
// control list among them: the names of those that could not be copied are
// added to `lost`.
void CopyModeTo(std::FILE* file, const FileInfo& like);
void CopyExtendedAttributes(const std::string& likePath, std::FILE* file,
                            std::vector<std::string>* lost);
// Sets or clears Windows' read-only attribute; a no-op elsewhere.
void SetReadOnly(const std::string& path, bool readOnly);
// strerror(errno), or "unknown error".
std::string ErrnoText();

#if defined(_WIN32)
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
#endif

}  // namespace velgarde
