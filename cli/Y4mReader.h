// Reads a YUV4MPEG2 stream: the header line, then frames of a FRAME line and
// the planes. Nothing is allocated for a frame before the header's size has
// passed the limits, and every short read is reported, never padded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Y4mFormat.h"

namespace velgarde {

struct Y4mFrame {
    std::string parameters;  // whatever followed "FRAME" on its line, e.g. " Ib"
    std::vector<std::uint8_t> data;  // luma plane, then the other planes as stored
};

class Y4mReader {
public:
    enum class Result { Frame, End, Error };

    explicit Y4mReader(ByteSource& source, Y4mLimits limits = {});

    bool ReadHeader(std::string* error);
    const Y4mFormat& Format() const { return format_; }
    // The header line as read, without its newline.
    const std::string& HeaderLine() const { return header_; }
    // Bytes the header occupied in the stream, newline included.
    std::size_t HeaderBytes() const { return header_.size() + 1; }

    // End only at a clean frame boundary; errors name the frame (from 1).
    Result ReadFrame(Y4mFrame* frame, std::string* error);
    std::int64_t FramesRead() const { return framesRead_; }

private:
    // Reads up to and excluding '\n'. 0: ok, 1: no newline within `max`,
    // 2: the data ended first.
    int ReadLine(std::size_t max, std::string* line, std::size_t* bytesRead);
    std::string FrameError(const std::string& what) const;

    ByteSource& source_;
    Y4mLimits limits_;
    Y4mFormat format_;
    std::string header_;
    std::int64_t framesRead_ = 0;
};

}  // namespace velgarde
