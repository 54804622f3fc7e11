// What ffprobe says about a video file: its streams (the first picture
// stream is the one sharpened), the container and the length, enough to
// choose an encoder, carry every other stream over and count the frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velgarde {

struct ProbedStream {
    int index = -1;
    std::string type;  // video, audio, subtitle, data, attachment
    std::string codec, profile, pixFmt;
    std::string colourRange, colourSpace, colourTransfer, colourPrimaries, fieldOrder;
    std::string language, title;
    std::string frameRate;  // avg_frame_rate, "30000/1001"
    std::string baseFrameRate;  // r_frame_rate: the same for a constant rate
    std::int64_t frames = -1;  // -1: not stored
    double duration = -1;
    bool attachedPicture = false;  // cover art: copied, not sharpened
};

struct VideoProbe {
    std::vector<ProbedStream> streams;
    std::string formatName;  // ffmpeg's demuxer names, "mov,mp4,m4a,3gp,3g2,mj2"
    double duration = -1;
    // The first video stream that is a moving picture; null if none.
    const ProbedStream* Picture() const;
    // Frames of that stream: stored, or its length times its rate; -1 unknown.
    std::int64_t FrameCount() const;
};

// `text` is ffprobe's compact output of the entries ProbeArguments asks for.
bool ParseProbe(const std::string& text, VideoProbe* probe, std::string* error);
std::vector<std::string> ProbeArguments(const std::string& input);

}  // namespace velgarde
