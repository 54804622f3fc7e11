#include "cli/VideoFormats.h"

#include <cstring>
#include <regex>

namespace velgarde {
namespace {

const char* const kMp4Video = "h264 hevc av1 vp9 mpeg4 mpeg2video mpeg1video mjpeg";
// ffmpeg 5 writes FLAC, DTS and TrueHD into MP4 only as experimental.
const char* const kMp4Audio = "aac mp3 ac3 eac3 alac opus mp2";

const VideoContainer kContainers[] = {
    {"mp4 m4v", "MP4", "mp4", kMp4Video, "h264", "text", "mov_text", kMp4Audio, false, true},
    {"mov", "QuickTime", "mov", "", "h264", "text", "mov_text", "", false, true},
    {"mkv", "Matroska", "matroska", "", "h264", "any", "srt", "", true, false},
    {"webm", "WebM", "webm", "vp8 vp9 av1", "vp9", "text", "webvtt", "opus vorbis", false, false},
    {"avi", "AVI", "avi", "", "mpeg4", "none", "", "", false, false},
    {"ts m2ts mts", "MPEG-TS", "mpegts", "h264 hevc mpeg2video mpeg1video", "h264", "none", "", "", false, true},
    {"mpg mpeg", "MPEG-PS", "mpeg", "mpeg2video mpeg1video", "mpeg2video", "none", "", "mp2 mp3 ac3 pcm_dvd", false, false},
    {"ogv", "Ogg", "ogg", "theora vp8", "theora", "none", "", "vorbis opus flac speex", false, false},
    {"flv", "FLV", "flv", "h264 flv1 vp6f", "h264", "none", "", "aac mp3 speex nellymoser", false, false},
    {"nut", "NUT", "nut", "", "ffv1", "none", "", "", false, true},
};

std::string Lower(const std::string& s) {
    std::string out;
    for (char c : s) out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
}

bool InList(const char* list, const std::string& word) {
    const std::string padded = std::string(" ") + list + " ";
    return !word.empty() && padded.find(" " + word + " ") != std::string::npos;
}

}  // namespace

const VideoContainer* VideoContainerForName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    const std::string ext = Lower(path.substr(dot + 1));
    for (const auto& c : kContainers)
        if (InList(c.extensions, ext)) return &c;
    return nullptr;
}

std::string VideoExtensionList() {
    // Each container's first name; the others are its spellings.
    std::string list;
    for (const auto& c : kContainers) {
        const std::string exts = c.extensions;
        list += (list.empty() ? "." : ", .") + exts.substr(0, exts.find(' '));
    }
    return list;
}

bool ContainerHolds(const VideoContainer& container, const std::string& videoCodec) {
    return container.videoCodecs[0] == '\0' || InList(container.videoCodecs, videoCodec);
}

std::string SniffVideoContainer(const std::vector<std::uint8_t>& head) {
    const auto at = [&](std::size_t offset, const char* magic) {
        const std::size_t n = std::strlen(magic);
        return head.size() >= offset + n && std::memcmp(head.data() + offset, magic, n) == 0;
    };
    const auto bytes = [&](std::initializer_list<int> magic) {
        std::size_t i = 0;
        for (int b : magic)
            if (i >= head.size() || head[i++] != b) return false;
        return true;
    };
    if (at(4, "ftyp")) return at(8, "qt  ") ? "QuickTime" : "MP4";
    for (const char* atom : {"moov", "mdat", "wide", "free", "skip"})
        if (at(4, atom)) return "QuickTime";
    if (bytes({0x1A, 0x45, 0xDF, 0xA3})) return "Matroska";
    if (at(0, "RIFF") && at(8, "AVI ")) return "AVI";
    // One sync byte is weak evidence; the next packet's makes it strong.
    if (head.size() > 188 && head[0] == 0x47 && head[188] == 0x47) return "MPEG-TS";
    if (bytes({0x00, 0x00, 0x01, 0xBA})) return "MPEG-PS";
    if (at(0, "FLV")) return "FLV";
    if (at(0, "OggS")) return "Ogg";
    if (bytes({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11})) return "ASF";
    if (at(0, "nut/multimedia")) return "NUT";
    if (bytes({0x06, 0x0E, 0x2B, 0x34})) return "MXF";
    return "";
}

PipeFormat PipeFormatFor(const std::string& pixFmtIn) {
    PipeFormat p;
    const std::string f = Lower(pixFmtIn);
    // Depth: from the name's trailing number (yuv420p10le, gray12le), or
    // from the semi-planar and packed names that carry it their own way.
    int depth = 8;
    std::smatch m;
    if (std::regex_match(f, m, std::regex("p0(10|12|16).*"))) depth = std::stoi(m[1]);
    else if (std::regex_match(f, m, std::regex("p[24]1(0|6).*"))) depth = m[1] == "0" ? 10 : 16;
    else if (std::regex_match(f, std::regex("(nv20|x2rgb10|x2bgr10|y210|xv30).*"))) depth = 10;
    else if (std::regex_match(f, std::regex("(y212|xv36).*"))) depth = 12;
    else if (std::regex_match(f, std::regex("(rgb48|bgr48|rgba64|bgra64).*"))) depth = 16;
    else if (f.rfind("nv", 0) != 0 && std::regex_search(f, m, std::regex("(9|10|12|14|16)(le|be)?$")))
        depth = std::stoi(m[1]);

    const bool rgb = std::regex_search(f, std::regex("^(rgb|bgr|argb|abgr|gbr|0rgb|0bgr|x2rgb|x2bgr|pal8|rgba|bgra)"));
    const bool mono = std::regex_search(f, std::regex("^(gray|ya|monob|monow|y400)"));
    std::string chroma = "420";
    if (rgb) chroma = "444";
    else if (mono) chroma = "mono";
    else if (f.find("444") != std::string::npos || f.find("440") != std::string::npos ||
             std::regex_search(f, std::regex("^(nv24|nv42|p41|ayuv|vuya|vuyx|xv3)")))
        chroma = "444";
    else if (f.find("422") != std::string::npos || std::regex_search(f, std::regex("^(nv16|nv20|p21|y21)")))
        chroma = "422";
    else if (f.find("411") != std::string::npos)
        chroma = "411";
    const bool alpha = std::regex_search(f, std::regex("^(yuva|ya|gbrap|rgba|bgra|argb|abgr|ayuv|vuya)")) ||
                       f == "rgba64le" || f == "rgba64be";

    p.fromRgb = rgb;
    p.bitDepth = depth <= 8 ? 8 : depth <= 10 ? 10 : 12;
    p.depthReduced = depth > 12;
    // 4:1:1 exists at 8 bits only; deeper it goes as 4:2:2.
    if (chroma == "411" && p.bitDepth > 8) chroma = "422";
    const bool keepAlpha = alpha && chroma == "444" && p.bitDepth == 8 && !rgb;
    p.alphaDropped = alpha && !keepAlpha;
    const bool full = f.rfind("yuvj", 0) == 0;
    const std::string suffix = p.bitDepth == 8 ? "" : std::to_string(p.bitDepth) + "le";
    if (chroma == "mono") p.pixFmt = "gray" + suffix;
    else if (keepAlpha) p.pixFmt = "yuva444p";
    else p.pixFmt = std::string(full && p.bitDepth == 8 ? "yuvj" : "yuv") + chroma + "p" + suffix;
    return p;
}

}  // namespace velgarde
