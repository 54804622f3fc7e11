// An output that appears only when complete: a regular file is written under
// a temporary name beside it and renamed over it on Commit; devices, pipes
// and stdout ("-") are written directly, as they cannot be replaced. A
// symbolic link is written through (its target is replaced, the link stays);
// a file that exists keeps its permissions. An interrupt removes the
// temporary file (cli/Interrupt.h).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "cli/ByteStream.h"

namespace velgarde {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes an uncommitted temporary file
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // "-" is stdout. The error names the problem, not the path.
    bool Open(const std::string& path, std::string* error);
    ByteSink& Sink() { return *sink_; }
    bool IsStdout() const { return isStdout_; }
    // Flushes, closes and moves the file into place.
    bool Commit(std::string* error);
    void Abort();

    // The temporary name used for `path` (after following links).
    static std::string TemporaryPath(const std::string& path);

private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<FileSink> sink_;
    std::string path_;      // the file finally written: links followed
    std::string tempPath_;  // empty when writing directly
    bool isStdout_ = false;
};

}  // namespace velgarde
