// An output that appears only when complete: a regular file is written under
// a temporary name beside it (cli/TemporaryNames.h), created afresh so that
// nothing placed there is written through, flushed to the disk and renamed
// over the output on Commit, after which the folder is flushed too: after a
// power cut the output holds the old or the new content, whole. Devices,
// pipes and stdout ("-") are written directly, as they cannot be replaced.
// A symbolic link is written through (its target is replaced, the link
// stays); a file that exists keeps its permissions, owner (where allowed),
// access control list and extended attributes. An interrupt removes the
// temporary file (cli/Interrupt.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/ByteStream.h"

namespace velgarde {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes an uncommitted temporary file
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // "-" is stdout. The error names the problem, not the path. A file the
    // user may not write to is refused unless `force`.
    bool Open(const std::string& path, std::string* error, bool force = false);
    // For a file another program writes (ffmpeg): made as by Open, but only
    // a file, never stdout or a device. That program writes ProgramPath();
    // Commit then flushes and renames what it wrote. On POSIX the file stays
    // open here (File()), for the program to get as a descriptor.
    bool OpenForProgram(const std::string& path, std::string* error, bool force = false);
    std::string ProgramPath() const;
    std::FILE* File() { return file_; }
    ByteSink& Sink() { return *sink_; }
    bool IsStdout() const { return isStdout_; }
    // Flushes, closes and moves the file into place.
    bool Commit(std::string* error);
    void Abort();
    // errno of the failure Commit or the sink reported (EPIPE: the reader of
    // stdout went away); 0 if none.
    int ErrorCode() const;
    // The temporary file being written; empty when writing directly.
    const std::string& TemporaryPath() const { return tempPath_; }
    // What the user should know beyond success or failure, each saying what
    // it is about: leftovers of killed runs removed, attributes that could
    // not be kept, hard links split. Taken once.
    std::vector<std::string> TakeNotes();

private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<FileSink> sink_;
    std::string givenPath_;  // as the user named it
    std::string path_;      // the file finally written: links followed
    std::string tempPath_;  // empty when writing directly
    std::vector<std::string> notes_;
    std::uint64_t links_ = 1;  // names the replaced file had
    bool readOnly_ = false;    // Windows: the replaced file was read-only (--force)
    bool isStdout_ = false;
    bool programWrites_ = false;
    int errorCode_ = 0;
};

}  // namespace velgarde
