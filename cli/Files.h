// The few file operations the tool needs, on paths in UTF-8 everywhere: on
// Windows they go through the wide-character functions, so that any Unicode
// file name works whatever the system's code page.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velgarde {

struct FileInfo {
    bool regular = false;    // a plain file (not a device, pipe or folder)
    bool directory = false;
    std::uint64_t size = 0;  // regular files only
    unsigned mode = 0;       // permission bits (POSIX)
    unsigned owner = 0, group = 0;
    // Identity: two names of one file (a link, another spelling) share it.
    std::uint64_t device = 0, inode = 0;
    bool SameFileAs(const FileInfo& o) const {
        return (inode != 0 || device != 0) && device == o.device && inode == o.inode;
    }
};

// fopen with a UTF-8 path; errno is set on failure.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Creates (or truncates) a file for writing that another thread may remove
// while it is open (Windows needs that said when the file is opened).
std::FILE* CreateRemovableFile(const std::string& path);
// Follows symbolic links; false (errno set) if `path` does not exist.
bool StatPath(const std::string& path, FileInfo* info);
bool StatOpenFile(std::FILE* file, FileInfo* info);
// The file a chain of symbolic links ends at (the path itself if none),
// also when that file does not exist yet. POSIX only; Windows returns path.
std::string ResolveLinks(const std::string& path);
bool RenameOver(const std::string& from, const std::string& to);  // errno set
bool RemoveFile(const std::string& path);
// Gives `file` the permission bits `mode` (and, where allowed, the owner of
// `like`); best effort.
void CopyModeTo(std::FILE* file, const FileInfo& like);
// strerror(errno), or "unknown error".
std::string ErrnoText();

#if defined(_WIN32)
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
#endif

}  // namespace velgarde
