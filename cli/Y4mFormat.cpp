#include "cli/Y4mFormat.h"

#include <vector>

namespace velgarde {
namespace {

struct ColourSpace {
    const char* name;
    ChromaLayout chroma;
    int bitDepth;
};

// Every colour space ffmpeg reads or writes; depths other than 8, 10 and 12
// are recognised so that the error can say what is wrong.
const ColourSpace kColourSpaces[] = {
    {"420jpeg", ChromaLayout::C420, 8},  {"420paldv", ChromaLayout::C420, 8},
    {"420mpeg2", ChromaLayout::C420, 8}, {"420", ChromaLayout::C420, 8},
    {"411", ChromaLayout::C411, 8},      {"422", ChromaLayout::C422, 8},
    {"444", ChromaLayout::C444, 8},      {"444alpha", ChromaLayout::C444Alpha, 8},
    {"mono", ChromaLayout::Mono, 8},     {"420p9", ChromaLayout::C420, 9},
    {"422p9", ChromaLayout::C422, 9},    {"444p9", ChromaLayout::C444, 9},
    {"420p10", ChromaLayout::C420, 10},  {"422p10", ChromaLayout::C422, 10},
    {"444p10", ChromaLayout::C444, 10},  {"420p12", ChromaLayout::C420, 12},
    {"422p12", ChromaLayout::C422, 12},  {"444p12", ChromaLayout::C444, 12},
    {"420p14", ChromaLayout::C420, 14},  {"422p14", ChromaLayout::C422, 14},
    {"444p14", ChromaLayout::C444, 14},  {"420p16", ChromaLayout::C420, 16},
    {"422p16", ChromaLayout::C422, 16},  {"444p16", ChromaLayout::C444, 16},
    {"mono9", ChromaLayout::Mono, 9},    {"mono10", ChromaLayout::Mono, 10},
    {"mono12", ChromaLayout::Mono, 12},  {"mono14", ChromaLayout::Mono, 14},
    {"mono16", ChromaLayout::Mono, 16},
};

// A decimal number without sign; false if empty, not all digits or above max.
bool ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t* value) {
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > max) return false;
    }
    *value = v;
    return true;
}

bool ParseRatio(std::string_view text) {
    const auto colon = text.find(':');
    std::uint64_t n = 0, d = 0;
    return colon != std::string_view::npos &&
           ParseUnsigned(text.substr(0, colon), 0x7fffffff, &n) &&
           ParseUnsigned(text.substr(colon + 1), 0x7fffffff, &d);
}

std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7f) ? c : '?';
    }
    if (text.size() > 40) out += "...";
    return out;
}

}  // namespace

std::size_t Y4mFormat::LumaBytes() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
           static_cast<std::size_t>(BytesPerSample());
}

std::size_t Y4mFormat::ChromaBytes() const {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    std::size_t samples = 0;
    switch (chroma) {
    case ChromaLayout::Mono: samples = 0; break;
    case ChromaLayout::C420: samples = 2 * ((w + 1) / 2) * ((h + 1) / 2); break;
    case ChromaLayout::C411: samples = 2 * ((w + 3) / 4) * h; break;
    case ChromaLayout::C422: samples = 2 * ((w + 1) / 2) * h; break;
    case ChromaLayout::C444: samples = 2 * w * h; break;
    case ChromaLayout::C444Alpha: samples = 3 * w * h; break;
    }
    return samples * static_cast<std::size_t>(BytesPerSample());
}

bool FrameIsInterlaced(const Y4mFormat& format, const std::string& frameParameters) {
    std::size_t pos = 0;
    while ((pos = frameParameters.find(" I", pos)) != std::string::npos) {
        pos += 2;
        if (pos + 1 < frameParameters.size() && (frameParameters[pos + 1] == 'i' || frameParameters[pos + 1] == 'p'))
            return frameParameters[pos + 1] == 'i';
    }
    return format.interlacing == 't' || format.interlacing == 'b';
}

bool ParseY4mHeader(std::string_view line, const Y4mLimits& limits, Y4mFormat* format,
                    std::string* error) {
    constexpr std::string_view kMagic = "YUV4MPEG2";
    if (line.substr(0, kMagic.size()) != kMagic ||
        (line.size() > kMagic.size() && line[kMagic.size()] != ' ')) {
        *error = "not a YUV4MPEG2 stream (no YUV4MPEG2 signature)";
        return false;
    }
    Y4mFormat f;
    bool haveW = false, haveH = false, haveC = false;
    std::uint64_t w = 0, h = 0;
    std::size_t pos = kMagic.size();
    while (pos < line.size()) {
        if (line[pos] == ' ') {  // ffmpeg tolerates repeated spaces; so do we
            ++pos;
            continue;
        }
        std::size_t end = line.find(' ', pos);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view tag = line.substr(pos, end - pos);
        const std::string_view value = tag.substr(1);
        pos = end;
        for (char c : tag) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                *error = "malformed header: control character in tag '" + Printable(tag) + "'";
                return false;
            }
        }
        switch (tag[0]) {
        case 'W':
        case 'H': {
            bool& seen = tag[0] == 'W' ? haveW : haveH;
            std::uint64_t& v = tag[0] == 'W' ? w : h;
            if (seen) {
                *error = std::string("malformed header: more than one ") + tag[0] + " tag";
                return false;
            }
            seen = true;
            if (!ParseUnsigned(value, 0xffffffffu, &v)) {
                // Every digit string here has been range-checked; anything
                // else is not a size at all.
                bool digits = !value.empty();
                for (char c : value) digits = digits && c >= '0' && c <= '9';
                if (!digits) {
                    *error = "malformed header: bad " +
                             std::string(tag[0] == 'W' ? "width" : "height") + " tag '" +
                             Printable(tag) + "'";
                    return false;
                }
                v = 0xffffffffu;  // too many digits: absurd, reported below
            }
            break;
        }
        case 'C': {
            if (haveC) {
                *error = "malformed header: more than one C tag";
                return false;
            }
            haveC = true;
            const ColourSpace* found = nullptr;
            for (const auto& cs : kColourSpaces)
                if (value == cs.name) found = &cs;
            if (found == nullptr) {
                *error = "unsupported colour space '" + Printable(value) +
                         "' (4:2:0, 4:1:1, 4:2:2, 4:4:4 and mono are)";
                return false;
            }
            if (found->bitDepth != 8 && found->bitDepth != 10 && found->bitDepth != 12) {
                *error = "unsupported bit depth " + std::to_string(found->bitDepth) + " in '" +
                         std::string(value) + "' (8, 10 and 12 bits are)";
                return false;
            }
            f.chroma = found->chroma;
            f.bitDepth = found->bitDepth;
            f.colourSpace = std::string(value);
            break;
        }
        case 'F':
        case 'A':
            if (!ParseRatio(value)) {
                *error = "malformed header: bad " +
                         std::string(tag[0] == 'F' ? "frame rate" : "aspect") + " tag '" +
                         Printable(tag) + "'";
                return false;
            }
            break;
        case 'I':
            if (value.size() != 1 || std::string_view("ptbm?").find(value[0]) == std::string_view::npos) {
                *error = "malformed header: bad interlacing tag '" + Printable(tag) + "'";
                return false;
            }
            f.interlacing = value[0];
            break;
        case 'X':
            if (value == "COLORRANGE=FULL") f.fullRange = true;
            if (value == "COLORRANGE=LIMITED") f.fullRange = false;
            break;
        default:
            break;  // unknown tags travel through untouched
        }
    }
    if (!haveW || !haveH) {
        *error = std::string("malformed header: no ") + (haveW ? "height (H)" : "width (W)") + " tag";
        return false;
    }
    const auto maxDim = static_cast<std::uint64_t>(limits.maxDimension);
    if (w < 1 || h < 1 || w > maxDim || h > maxDim || w * h > limits.maxPixels) {
        *error = "unsupported frame size " + std::to_string(w) + "x" + std::to_string(h) +
                 " (at most " + std::to_string(limits.maxDimension) + " per side and " +
                 std::to_string(limits.maxPixels) + " pixels)";
        return false;
    }
    f.width = static_cast<int>(w);
    f.height = static_cast<int>(h);
    *format = f;
    return true;
}

}  // namespace velgarde
