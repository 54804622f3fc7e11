#include "cli/VideoEncoding.h"

#include <cstring>

namespace velgarde {
namespace {

// The encoder to use for a codec family and its settings: high quality,
// close to the source, at an ordinary encoding speed.
struct EncoderDefaults {
    const char* encoder;
    const char* codec;
    const char* label;
    const char* qualityFlag;  // null: none (lossless, or a profile decides)
    int quality;
    const char* qualityName;  // how the summary names the number
    const char* extra;        // space-separated further arguments
    bool lossless;
};

const EncoderDefaults kEncoders[] = {
    {"libx264", "h264", "H.264", "-crf", 18, "CRF", "-preset medium", false},
    {"libx265", "hevc", "HEVC", "-crf", 20, "CRF", "-preset medium -x265-params log-level=error", false},
    {"libvpx-vp9", "vp9", "VP9", "-crf", 24, "CRF", "-b:v 0 -row-mt 1", false},
    {"libvpx", "vp8", "VP8", "-crf", 6, "CRF", "-b:v 50M -qmin 0", false},
    {"libsvtav1", "av1", "AV1", "-crf", 28, "CRF", "-preset 8", false},
    {"libaom-av1", "av1", "AV1", "-crf", 24, "CRF", "-b:v 0 -cpu-used 6 -row-mt 1", false},
    {"mpeg4", "mpeg4", "MPEG-4 Part 2", "-q:v", 2, "q", "", false},
    {"msmpeg4", "msmpeg4v3", "MS MPEG-4 v3", "-q:v", 2, "q", "", false},
    {"msmpeg4v2", "msmpeg4v2", "MS MPEG-4 v2", "-q:v", 2, "q", "", false},
    {"mpeg2video", "mpeg2video", "MPEG-2", "-q:v", 2, "q", "", false},
    {"mpeg1video", "mpeg1video", "MPEG-1", "-q:v", 2, "q", "", false},
    {"mjpeg", "mjpeg", "Motion JPEG", "-q:v", 2, "q", "", false},
    {"flv", "flv1", "Sorenson H.263", "-q:v", 2, "q", "", false},
    {"libtheora", "theora", "Theora", "-q:v", 9, "quality", "", false},
    {"prores_ks", "prores", "ProRes", nullptr, 0, "", "", false},
    {"ffv1", "ffv1", "FFV1", nullptr, 0, "", "-level 3", true},
    {"utvideo", "utvideo", "Ut Video", nullptr, 0, "", "", true},
    {"huffyuv", "huffyuv", "HuffYUV", nullptr, 0, "", "", true},
    {"ffvhuff", "ffvhuff", "FFVHuff", nullptr, 0, "", "", true},
    {"magicyuv", "magicyuv", "MagicYUV", nullptr, 0, "", "", true},
    {"png", "png", "PNG", nullptr, 0, "", "", true},
    {"qtrle", "qtrle", "QuickTime Animation", nullptr, 0, "", "", true},
    {"rawvideo", "rawvideo", "uncompressed", nullptr, 0, "", "", true},
};

// Lossless codecs ffmpeg reads but does not write.
const char* const kLosslessReadOnly[] = {"lagarith", "zlib", "mszh", "cllc", "ylc", "sheervideo", "fraps"};

const EncoderDefaults* DefaultsOf(const std::string& encoder) {
    for (const auto& e : kEncoders)
        if (encoder == e.encoder) return &e;
    return nullptr;
}

// The preferred available encoder for a codec, from the table's order.
std::string EncoderFor(const std::string& codec, const EncoderList& encoders) {
    for (const auto& e : kEncoders)
        if (codec == e.codec && encoders.count(e.encoder) != 0) return e.encoder;
    for (const auto& [name, c] : encoders)
        if (c == codec) return name;
    return "";
}

std::vector<std::string> Split(const char* text) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = text; ; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word += *p;
        }
    }
    return words;
}

std::string ProresProfile(const std::string& probed) {
    if (probed == "Proxy") return "proxy";
    if (probed == "LT") return "lt";
    if (probed == "HQ") return "hq";
    if (probed == "4444") return "4444";
    if (probed == "XQ") return "4444xq";
    return "standard";
}

bool IsTextSubtitle(const std::string& codec) {
    for (const char* c : {"subrip", "srt", "ass", "ssa", "webvtt", "mov_text", "text", "microdvd", "subviewer"})
        if (codec == c) return true;
    return false;
}

bool Holds(const char* list, const std::string& word) {
    const std::string padded = std::string(" ") + list + " ";
    return list[0] == '\0' || padded.find(" " + word + " ") != std::string::npos;
}

const char* AudioFallback(const VideoContainer& container, const std::string& codec) {
    const std::string muxer = container.muxer;
    // Lossless sound stays lossless where the container has a lossless codec.
    const bool lossless = codec == "flac" || codec.rfind("pcm_", 0) == 0;
    if (lossless && (muxer == "mp4" || muxer == "mov")) return "alac";
    if (muxer == "webm" || muxer == "ogg") return "libopus";
    if (muxer == "mpeg") return "mp2";
    return "aac";
}

}  // namespace

EncoderList ParseEncoderList(const std::string& text) {
    EncoderList list;
    std::size_t at = 0;
    bool pastHeader = false;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        // " V....D libx264   libx264 H.264 / AVC ... (codec h264)", after the " ------" line.
        if (line.find("------") != std::string::npos) {
            pastHeader = true;
            continue;
        }
        if (!pastHeader || line.size() < 9 || line[1] != 'V') continue;
        const std::size_t nameStart = line.find_first_not_of(' ', 7);
        if (nameStart == std::string::npos) continue;
        const std::size_t nameEnd = line.find(' ', nameStart);
        const std::string name = line.substr(nameStart, nameEnd - nameStart);
        std::string codec = name;
        const auto tag = line.rfind("(codec ");
        if (tag != std::string::npos) codec = line.substr(tag + 7, line.find(')', tag) - tag - 7);
        list[name] = codec;
    }
    return list;
}

bool ChooseEncoding(const VideoProbe* probe, const PipeFormat& pipe, const VideoContainer& container,
                    const EncoderList& encoders, const EncodingRequest& request, VideoEncoding* out,
                    std::string* error) {
    *out = VideoEncoding{};
    const ProbedStream* source = probe != nullptr ? probe->Picture() : nullptr;
    const std::string sourceCodec = source != nullptr ? source->codec : "";
    bool sourceLossless = false;
    if (const EncoderDefaults* d = DefaultsOf(EncoderFor(sourceCodec, encoders))) sourceLossless = d->lossless;
    for (const char* c : kLosslessReadOnly) sourceLossless = sourceLossless || sourceCodec == c;

    std::string encoder;
    if (!request.codec.empty()) {
        encoder = encoders.count(request.codec) != 0 ? request.codec : EncoderFor(request.codec, encoders);
        if (encoder.empty()) {
            *error = "--codec: ffmpeg here has no video encoder '" + request.codec +
                     "' ('ffmpeg -encoders' lists them)";
            return false;
        }
        if (!ContainerHolds(container, encoders.at(encoder))) {
            *error = "--codec: " + std::string(container.name) + " does not hold " + encoders.at(encoder) +
                     " video; .mkv holds every codec";
            return false;
        }
        out->reason = "as --codec asked";
    } else if (!sourceCodec.empty() && ContainerHolds(container, sourceCodec) &&
               !(encoder = EncoderFor(sourceCodec, encoders)).empty()) {
        out->reason = "the input's own codec";
    } else {
        // The family does not fit or has no encoder: the container's usual
        // codec, or for a lossless source a lossless one it holds.
        std::string codec = container.fallbackCodec;
        if (sourceLossless && ContainerHolds(container, "ffv1") && encoders.count("ffv1") != 0) codec = "ffv1";
        encoder = EncoderFor(codec, encoders);
        if (encoder.empty()) encoder = EncoderFor("h264", encoders);
        if (encoder.empty()) {
            *error = "ffmpeg here has no encoder for " + codec + " video";
            return false;
        }
        if (sourceCodec.empty())
            out->reason = "";
        else if (!ContainerHolds(container, sourceCodec))
            out->reason = "as " + std::string(container.name) + " does not hold the input's " + sourceCodec;
        else
            out->reason = "as ffmpeg here has no encoder for the input's " + sourceCodec;
    }
    out->encoder = encoder;
    out->codec = encoders.count(encoder) != 0 ? encoders.at(encoder) : encoder;
    const EncoderDefaults* d = DefaultsOf(encoder);
    out->videoArgs = {"-c:0", encoder};
    std::string settings = encoder;
    out->lossless = d != nullptr && d->lossless;
    if (d != nullptr && d->qualityFlag != nullptr) {
        const int q = request.quality >= 0 ? request.quality : d->quality;
        // A lossless source into a lossy codec: that codec's lossless mode.
        if (sourceLossless && request.quality < 0 && encoder == "libx264") {
            out->videoArgs.insert(out->videoArgs.end(), {"-qp", "0"});
            settings += ", lossless";
            out->lossless = true;
        } else {
            out->videoArgs.insert(out->videoArgs.end(), {d->qualityFlag, std::to_string(q)});
            settings += std::string(", ") + d->qualityName + " " + std::to_string(q);
        }
        out->qualityApplies = true;
    } else if (d != nullptr && d->lossless) {
        settings += ", lossless";
    }
    if (d != nullptr)
        for (const auto& w : Split(d->extra)) out->videoArgs.push_back(w);
    if (encoder == "prores_ks") {
        const std::string profile = ProresProfile(source != nullptr ? source->profile : "");
        out->videoArgs.insert(out->videoArgs.end(), {"-profile:v", profile});
        settings += ", profile " + profile;
    }
    // The input's own sample format where its family is kept (RGB back to
    // RGB, 10 bits stay 10); otherwise the pipe's, which has the same depth.
    std::string pixFmt = pipe.pixFmt;
    if (source != nullptr && !source->pixFmt.empty() && out->codec == sourceCodec && !pipe.alphaDropped)
        pixFmt = source->pixFmt;
    out->videoArgs.insert(out->videoArgs.end(), {"-pix_fmt", pixFmt});
    settings += ", " + pixFmt;
    if (source != nullptr) {
        const std::pair<const char*, const std::string*> colour[] = {
            {"-color_range", &source->colourRange},
            {"-colorspace", &source->colourSpace},
            {"-color_trc", &source->colourTransfer},
            {"-color_primaries", &source->colourPrimaries}};
        for (const auto& [flag, value] : colour)
            if (!value->empty()) out->videoArgs.insert(out->videoArgs.end(), {flag, *value});
        const std::string& order = source->fieldOrder;
        if (!order.empty() && order != "progressive") {
            out->videoArgs.insert(out->videoArgs.end(), {"-field_order", order});
            if (encoder == "libx264" || encoder == "mpeg2video" || encoder == "mpeg4")
                out->videoArgs.insert(out->videoArgs.end(), {"-flags", "+ilme+ildct"});
        }
    }
    out->description = std::string(d != nullptr ? d->label : out->codec.c_str()) + " (" + settings + ")";
    return true;
}

StreamPlan PlanOtherStreams(const VideoProbe& probe, const VideoContainer& container) {
    StreamPlan plan;
    const ProbedStream* picture = probe.Picture();
    // Data streams (timecode, telemetry, QuickTime chapter text) only where
    // the output is of the input's own kind.
    const bool sameKind =
        container.dataStreams && probe.formatName.find(container.muxer) != std::string::npos;
    int out = 1;  // output stream 0 is the sharpened picture
    const auto keep = [&](const ProbedStream& s, const std::string& codec) {
        plan.args.insert(plan.args.end(), {"-map", "1:" + std::to_string(s.index)});
        plan.args.insert(plan.args.end(), {"-c:" + std::to_string(out), codec});
        plan.args.insert(plan.args.end(),
                         {"-map_metadata:s:" + std::to_string(out), "1:s:" + std::to_string(s.index)});
        ++out;
        ++plan.copied;
    };
    const auto drop = [&](const ProbedStream& s, const std::string& why) {
        plan.notes.push_back("stream " + std::to_string(s.index) + " (" + s.type + ", " + s.codec +
                             ") left out: " + why);
    };
    for (const auto& s : probe.streams) {
        if (&s == picture) continue;
        const std::string holdsNo = std::string(container.name) + " holds no " + s.codec + " " + s.type;
        if (s.type == "video") {
            if (ContainerHolds(container, s.codec) || s.attachedPicture) keep(s, "copy");
            else drop(s, holdsNo);
        } else if (s.type == "audio") {
            if (Holds(container.audioCodecs, s.codec)) {
                keep(s, "copy");
            } else {
                const std::string codec = AudioFallback(container, s.codec);
                plan.notes.push_back("stream " + std::to_string(s.index) + " (audio, " + s.codec +
                                     ") converted to " +
                                     (codec == "libopus" ? "Opus" : codec == "alac" ? "ALAC (lossless)"
                                                                    : codec == "aac" ? "AAC" : "MP2") +
                                     ": " + holdsNo);
                keep(s, codec);
            }
        } else if (s.type == "subtitle") {
            const std::string mode = container.subtitles;
            if (mode == "none") {
                drop(s, std::string(container.name) + " holds no subtitles");
            } else if (mode == "any" && !(s.codec == "mov_text")) {
                keep(s, "copy");
            } else if (IsTextSubtitle(s.codec)) {
                keep(s, s.codec == container.subtitleCodec ? "copy" : container.subtitleCodec);
            } else {
                drop(s, std::string(container.name) + " holds text subtitles only");
            }
        } else if (s.type == "attachment") {
            if (container.attachments) keep(s, "copy");
            else drop(s, std::string(container.name) + " holds no attachments");
        } else if (s.type == "data" && sameKind) {
            keep(s, "copy");
        }
    }
    if (picture != nullptr)
        plan.args.insert(plan.args.end(), {"-map_metadata:s:0", "1:s:" + std::to_string(picture->index)});
    plan.args.insert(plan.args.end(), {"-map_metadata", "1", "-map_chapters", "1"});
    return plan;
}

std::vector<std::string> DecoderArguments(const std::string& input, const ProbedStream& picture,
                                          const PipeFormat& pipe) {
    std::vector<std::string> args = {"-nostdin", "-hide_banner", "-nostats", "-v", "error",
                                     "-i", "file:" + input, "-map", "0:" + std::to_string(picture.index),
                                     "-pix_fmt", pipe.pixFmt, "-strict", "-1"};
    // At a constant rate every frame goes through as decoded; a variable
    // rate is made constant (frames repeated or dropped) so that the sound
    // stays in step, as the pipe does.
    if (!picture.frameRate.empty() && picture.frameRate == picture.baseFrameRate)
        args.insert(args.end(), {"-vsync", "passthrough"});
    args.insert(args.end(), {"-f", "yuv4mpegpipe", "-"});
    return args;
}

std::vector<std::string> EncoderArguments(const std::string& input, const VideoProbe* probe,
                                          const VideoEncoding& encoding, const StreamPlan* others,
                                          const VideoContainer& container, const std::string& outputPath) {
    std::vector<std::string> args = {"-nostdin", "-hide_banner", "-nostats", "-v", "error", "-y",
                                     "-f", "yuv4mpegpipe", "-i", "-"};
    if (probe != nullptr) args.insert(args.end(), {"-i", "file:" + input});
    args.insert(args.end(), {"-map", "0:0"});
    args.insert(args.end(), encoding.videoArgs.begin(), encoding.videoArgs.end());
    if (others != nullptr) args.insert(args.end(), others->args.begin(), others->args.end());
    args.insert(args.end(), {"-f", container.muxer, "file:" + outputPath});
    return args;
}

}  // namespace velgarde
