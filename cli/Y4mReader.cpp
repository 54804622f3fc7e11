#include "cli/Y4mReader.h"

#include <cstring>

namespace velgarde {

Y4mReader::Y4mReader(ByteSource& source, Y4mLimits limits) : source_(source), limits_(limits) {}

int Y4mReader::ReadLine(std::size_t max, std::string* line, std::size_t* bytesRead) {
    line->clear();
    *bytesRead = 0;
    for (;;) {
        char c;
        if (source_.Read(&c, 1) != 1) return 2;
        ++*bytesRead;
        if (c == '\n') return 0;
        if (line->size() >= max) return 1;
        line->push_back(c);
    }
}

std::string Y4mReader::FrameError(const std::string& what) const {
    return "frame " + std::to_string(framesRead_ + 1) + ": " + what;
}

bool Y4mReader::ReadHeader(std::string* error) {
    std::size_t n = 0;
    const int r = ReadLine(limits_.maxHeaderBytes, &header_, &n);
    if (r == 1) {
        *error = header_.compare(0, 9, "YUV4MPEG2") == 0
                     ? "malformed header: no end of line within " +
                           std::to_string(limits_.maxHeaderBytes) + " bytes"
                     : "not a YUV4MPEG2 stream (no YUV4MPEG2 signature)";
        return false;
    }
    if (r == 2) {
        if (!source_.Error().empty())
            *error = "read failed: " + source_.Error();
        else if (n == 0)
            *error = "empty input";
        else if (header_.compare(0, 9, "YUV4MPEG2") == 0)
            *error = "truncated header (the data ends before its end of line)";
        else
            *error = "not a YUV4MPEG2 stream (no YUV4MPEG2 signature)";
        return false;
    }
    return ParseY4mHeader(header_, limits_, &format_, error);
}

Y4mReader::Result Y4mReader::ReadFrame(Y4mFrame* frame, std::string* error) {
    char marker[5];
    const std::size_t got = source_.Read(marker, sizeof marker);
    if (!source_.Error().empty()) {
        *error = FrameError("read failed: " + source_.Error());
        return Result::Error;
    }
    if (got == 0) return Result::End;
    if (got < sizeof marker) {
        *error = std::memcmp(marker, "FRAME", got) == 0 ? FrameError("truncated FRAME marker")
                                                         : FrameError("missing FRAME marker");
        return Result::Error;
    }
    if (std::memcmp(marker, "FRAME", sizeof marker) != 0) {
        *error = FrameError("missing FRAME marker");
        return Result::Error;
    }
    // The marker is followed by its end of line or by parameters after a space.
    std::string line;
    std::size_t n = 0;
    const int r = ReadLine(limits_.maxFrameHeaderBytes, &line, &n);
    if (r == 2) {
        *error = source_.Error().empty() ? FrameError("truncated FRAME line")
                                         : FrameError("read failed: " + source_.Error());
        return Result::Error;
    }
    if (r == 1) {
        *error = FrameError("FRAME parameters longer than " +
                            std::to_string(limits_.maxFrameHeaderBytes) + " bytes");
        return Result::Error;
    }
    if (!line.empty() && line[0] != ' ') {
        *error = FrameError("malformed FRAME marker");
        return Result::Error;
    }
    frame->parameters = std::move(line);
    const std::size_t size = format_.FrameBytes();
    frame->data.resize(size);
    const std::size_t read = source_.Read(frame->data.data(), size);
    if (read != size) {
        *error = source_.Error().empty()
                     ? FrameError("truncated frame data (" + std::to_string(read) + " of " +
                                  std::to_string(size) + " bytes)")
                     : FrameError("read failed: " + source_.Error());
        return Result::Error;
    }
    ++framesRead_;
    return Result::Frame;
}

}  // namespace velgarde
