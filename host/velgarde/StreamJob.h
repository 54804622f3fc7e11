// Sharpens a YUV4MPEG2 stream frame by frame: luma through the filter,
// every other plane and every header byte copied as they came.
#pragma once

#include <cstdint>
#include <string>

#include "host/velgarde/LumaProcessor.h"
#include "host/velgarde/Progress.h"
#include "host/velgarde/Y4mReader.h"
#include "host/velgarde/Y4mWriter.h"

namespace velgarde {

struct StreamResult {
    std::int64_t frames = 0;  // written whole; a failure concerns the next one
    // Which side failed, for naming the file in the message.
    enum class Failure { None, Input, Output, Filter } failure = Failure::None;
    std::string error;
};

// The reader's header must already have been read. maxFrames < 0: all.
StreamResult RunStream(Y4mReader& reader, Y4mWriter& writer, LumaProcessor& processor,
                       std::int64_t maxFrames, Progress* progress);

// Frames a regular file of `fileBytes` can hold, when each FRAME line is bare.
std::int64_t EstimateFrameCount(std::uint64_t fileBytes, std::size_t headerBytes,
                                const Y4mFormat& format);

}  // namespace velgarde
