// Video files as the tool sees them: the containers it writes (by
// extension), how a container file is recognised, and which YUV4MPEG2
// sample format carries a decoded picture format to the filter and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velgarde {

struct VideoContainer {
    const char* extensions;  // space-separated, lower case
    const char* name;        // as messages call it
    const char* muxer;       // ffmpeg's -f name
    // Video codecs it holds (ffmpeg's codec names, space-separated); empty: any.
    const char* videoCodecs;
    const char* fallbackCodec;  // what to encode when the input's family does not fit
    // What its subtitles may be: "text" (converted to subtitleCodec), "any"
    // (copied; text in a form it lacks is converted), or "none".
    const char* subtitles;
    const char* subtitleCodec;
    const char* audioCodecs;  // empty: any
    bool attachments;         // fonts and covers as attachments (Matroska)
    bool dataStreams;         // timecode, telemetry and the like
};

// The container an output name's extension stands for; null if none.
const VideoContainer* VideoContainerForName(const std::string& path);
// ".mp4, .mov, .mkv, ..." for messages: each container once.
std::string VideoExtensionList();
bool ContainerHolds(const VideoContainer& container, const std::string& videoCodec);

// Whether the first bytes of a file are those of a video container (MP4,
// QuickTime, Matroska, WebM, AVI, MPEG-TS and -PS, FLV, Ogg, ASF, NUT,
// MXF); the container's name if so, else empty. `head` holds the first 189
// bytes where the file has them.
std::string SniffVideoContainer(const std::vector<std::uint8_t>& head);

// A decoded picture format (ffmpeg's pix_fmt name) as the filter gets it.
struct PipeFormat {
    std::string pixFmt;  // what ffmpeg writes into the YUV4MPEG2 pipe
    int bitDepth = 8;    // of the pipe: 8, 10 or 12
    bool fromRgb = false;  // RGB pictures go through 4:4:4 YUV, which rounds
    bool alphaDropped = false;
    bool depthReduced = false;  // more than 12 bits, carried as 12
};
PipeFormat PipeFormatFor(const std::string& pixFmt);

}  // namespace velgarde
