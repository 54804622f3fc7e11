#include "cli/VideoProbe.h"

#include <cmath>
#include <cstdlib>

namespace velgarde {
namespace {

// "key=value|key=value", where a '|' inside a value comes escaped as "\|".
std::vector<std::pair<std::string, std::string>> Fields(const std::string& line) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string part;
    const auto flush = [&] {
        const auto eq = part.find('=');
        if (eq != std::string::npos) fields.push_back({part.substr(0, eq), part.substr(eq + 1)});
        part.clear();
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            part += line[++i];
        } else if (line[i] == '|') {
            flush();
        } else {
            part += line[i];
        }
    }
    flush();
    return fields;
}

double Number(const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(v) ? v : -1;
}

double Rate(const std::string& fraction) {
    const auto slash = fraction.find('/');
    if (slash == std::string::npos) return Number(fraction);
    const double n = Number(fraction.substr(0, slash)), d = Number(fraction.substr(slash + 1));
    return n > 0 && d > 0 ? n / d : -1;
}

}  // namespace

std::vector<std::string> ProbeArguments(const std::string& input) {
    return {"-v", "error", "-show_entries",
            "stream=index,codec_type,codec_name,profile,pix_fmt,nb_frames,avg_frame_rate,r_frame_rate,duration,"
            "color_range,color_space,color_transfer,color_primaries,field_order:"
            "stream_disposition=attached_pic:stream_tags=language,title:format=format_name,duration",
            "-of", "compact=p=0", "file:" + input};
}

bool ParseProbe(const std::string& text, VideoProbe* probe, std::string* error) {
    *probe = VideoProbe{};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto fields = Fields(line);
        if (line.rfind("index=", 0) == 0) {
            ProbedStream s;
            for (const auto& [key, value] : fields) {
                const std::string v = value == "unknown" || value == "N/A" ? "" : value;
                if (key == "index") s.index = std::atoi(v.c_str());
                else if (key == "codec_type") s.type = v;
                else if (key == "codec_name") s.codec = v;
                else if (key == "profile") s.profile = v;
                else if (key == "pix_fmt") s.pixFmt = v;
                else if (key == "color_range") s.colourRange = v;
                else if (key == "color_space") s.colourSpace = v;
                else if (key == "color_transfer") s.colourTransfer = v;
                else if (key == "color_primaries") s.colourPrimaries = v;
                else if (key == "field_order") s.fieldOrder = v;
                else if (key == "avg_frame_rate") s.frameRate = v;
                else if (key == "r_frame_rate") s.baseFrameRate = v;
                else if (key == "nb_frames") s.frames = v.empty() ? -1 : std::atoll(v.c_str());
                else if (key == "duration") s.duration = v.empty() ? -1 : Number(v);
                else if (key == "disposition:attached_pic") s.attachedPicture = v == "1";
                else if (key == "tag:language") s.language = v;
                else if (key == "tag:title") s.title = v;
            }
            probe->streams.push_back(s);
        } else {
            for (const auto& [key, value] : fields) {
                if (key == "format_name") probe->formatName = value;
                else if (key == "duration") probe->duration = Number(value);
            }
        }
    }
    if (probe->formatName.empty()) {
        *error = "ffprobe said nothing about it";
        return false;
    }
    return true;
}

const ProbedStream* VideoProbe::Picture() const {
    for (const auto& s : streams)
        if (s.type == "video" && !s.attachedPicture) return &s;
    return nullptr;
}

std::int64_t VideoProbe::FrameCount() const {
    const ProbedStream* v = Picture();
    if (v == nullptr) return -1;
    if (v->frames > 0) return v->frames;
    const double seconds = v->duration > 0 ? v->duration : duration;
    const double rate = Rate(v->frameRate);
    if (seconds <= 0 || rate <= 0) return -1;
    return static_cast<std::int64_t>(std::llround(seconds * rate));
}

}  // namespace velgarde
