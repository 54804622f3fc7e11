// ffmpeg and ffprobe as the tool uses them: found (with a message that
// says what to do when they are missing), asked about a file, asked which
// encoders they have.
#pragma once

#include <string>

#include "cli/VideoEncoding.h"
#include "cli/VideoProbe.h"

namespace velgarde {

struct FfmpegTools {
    std::string ffmpeg, ffprobe;  // paths; ffprobe empty when not needed
};

// `given`: --ffmpeg (the program or its folder), or empty. ffprobe is looked
// for beside the ffmpeg found first. The error is the whole message: what
// was looked for where, how to install it, and the pipe that needs none.
bool FindFfmpeg(const std::string& given, bool needProbe, FfmpegTools* tools, std::string* error);

bool ProbeVideoFile(const FfmpegTools& tools, const std::string& input, VideoProbe* probe, std::string* error);
bool ListVideoEncoders(const FfmpegTools& tools, EncoderList* encoders, std::string* error);

}  // namespace velgarde
