// Writes a YUV4MPEG2 stream. Each frame goes out in one piece so that a
// failure later in the input never leaves half a frame behind.
#pragma once

#include <string>

#include "cli/ByteStream.h"
#include "cli/Y4mReader.h"

namespace velgarde {

class Y4mWriter {
public:
    explicit Y4mWriter(ByteSink& sink) : sink_(sink) {}

    // `line` without its newline, normally the input's header line verbatim.
    bool WriteHeader(const std::string& line, std::string* error);
    bool WriteFrame(const Y4mFrame& frame, std::string* error);

private:
    bool Fail(std::string* error);

    ByteSink& sink_;
    std::string scratch_;
};

}  // namespace velgarde
