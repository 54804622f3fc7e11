// Sharpens a YUV4MPEG2 stream frame by frame: luma through the filter,
// every other plane and every header byte copied as they came. Reading,
// filtering and writing overlap: a frame is read while the one before is
// filtered and the one before that is written.
#pragma once

#include <cstdint>
#include <string>

#include "cli/LumaProcessor.h"
#include "cli/Options.h"
#include "cli/Parallel.h"
#include "cli/Progress.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

namespace velgarde {

struct StreamSettings {
    std::int64_t maxFrames = -1;  // < 0: all
    FieldMode fields = FieldMode::Auto;
    Parallel* parallel = nullptr;  // null: conversions on the filtering thread
    TChangeView show = TChangeView::Picture;  // what is written (cli/ShowChange.h)
};

struct StreamResult {
    std::int64_t frames = 0;  // written whole; a failure concerns the next one
    std::int64_t fieldFrames = 0;  // of those, filtered as two fields
    // Which side failed, for naming the file in the message. After an input
    // failure every frame read before it has been filtered and written.
    enum class Failure { None, Input, Output, Filter } failure = Failure::None;
    std::string error;
};

// The reader's header must already have been read.
StreamResult RunStream(Y4mReader& reader, Y4mWriter& writer, LumaProcessor& processor,
                       const StreamSettings& settings, Progress* progress);

// Frames a regular file of `fileBytes` can hold, when each FRAME line is bare.
std::int64_t EstimateFrameCount(std::uint64_t fileBytes, std::size_t headerBytes,
                                const Y4mFormat& format);

}  // namespace velgarde
