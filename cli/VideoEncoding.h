// How a video file is written: which encoder and quality suit the input
// (its own codec family and depth where an encoder exists and the container
// holds it; lossless stays lossless), what happens to every other stream,
// and the two ffmpeg command lines around the filter.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/VideoFormats.h"
#include "cli/VideoProbe.h"

namespace velgarde {

// ffmpeg's encoders: encoder name -> the codec it writes ("libx264" -> "h264").
using EncoderList = std::map<std::string, std::string>;
// From the output of `ffmpeg -hide_banner -encoders`: video encoders only.
EncoderList ParseEncoderList(const std::string& text);

struct EncodingRequest {
    std::string codec;  // --codec: an encoder or codec name; empty: chosen
    int quality = -1;   // --crf: the encoder's own quality number; < 0: its default
};

struct VideoEncoding {
    std::string encoder, codec;
    bool lossless = false;
    bool qualityApplies = false;  // the encoder takes a quality number
    std::vector<std::string> videoArgs;  // for the output's video stream 0
    std::string description;  // "H.264 (libx264, CRF 18, yuv420p)"
    std::string reason;       // "as the input", or why not
};

// `probe` is null for a YUV4MPEG2 input. False, with the reason, when the
// request cannot be met.
bool ChooseEncoding(const VideoProbe* probe, const PipeFormat& pipe, const VideoContainer& container,
                    const EncoderList& encoders, const EncodingRequest& request, VideoEncoding* encoding,
                    std::string* error);

// The streams other than the sharpened one: how each is carried over.
struct StreamPlan {
    std::vector<std::string> args;   // maps, codecs and metadata for them
    std::vector<std::string> notes;  // what could not be kept as it was
    int copied = 0;                  // streams copied or converted
};
StreamPlan PlanOtherStreams(const VideoProbe& probe, const VideoContainer& container);

// The decoder: the picture stream of `input` into a YUV4MPEG2 pipe on stdout.
std::vector<std::string> DecoderArguments(const std::string& input, const ProbedStream& picture,
                                          const PipeFormat& pipe);
// The encoder: the pipe on stdin (and, with a probe, the input's other
// streams, chapters and metadata) into `outputPath` as `container`.
std::vector<std::string> EncoderArguments(const std::string& input, const VideoProbe* probe,
                                          const VideoEncoding& encoding, const StreamPlan* others,
                                          const VideoContainer& container, const std::string& outputPath);

}  // namespace velgarde
