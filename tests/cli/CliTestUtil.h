// Builders and readers shared by the velgarde tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Y4mReader.h"

namespace velgarde::test {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes* out, const std::string& text) { out->insert(out->end(), text.begin(), text.end()); }

// A stream with `frames` frames of deterministic content whose samples stay
// within the depth's code range; `frameParams` goes after each FRAME.
inline Bytes MakeStream(const std::string& header, int frames, const std::string& frameParams = "",
                        std::uint32_t seed = 1) {
    Y4mFormat format;
    std::string error;
    if (!ParseY4mHeader(header, Y4mLimits{}, &format, &error)) return {};
    Bytes out;
    Append(&out, header + "\n");
    std::uint32_t state = seed * 2654435761u + 12345;
    const int maxCode = (1 << format.bitDepth) - 1;
    for (int f = 0; f < frames; ++f) {
        Append(&out, "FRAME" + frameParams + "\n");
        const std::size_t samples = format.FrameBytes() / format.BytesPerSample();
        const std::size_t lumaSamples = static_cast<std::size_t>(format.width) * format.height;
        for (std::size_t i = 0; i < samples; ++i) {
            state = state * 1664525u + 1013904223u;
            int code;
            if (i < lumaSamples) {
                // Smooth structure plus noise: something for the filter to act on.
                const int x = static_cast<int>(i % format.width), y = static_cast<int>(i / format.width);
                const int base = ((x / 3 + y / 2 + f) % 7) * (maxCode / 8);
                code = (base + static_cast<int>(state >> 24) % (maxCode / 16 + 1)) % (maxCode + 1);
            } else {
                code = static_cast<int>(state >> 8) % (maxCode + 1);
            }
            out.push_back(static_cast<std::uint8_t>(code));
            if (format.BytesPerSample() == 2) out.push_back(static_cast<std::uint8_t>(code >> 8));
        }
    }
    return out;
}

struct ParsedStream {
    bool ok = false;
    std::string error;
    std::string header;
    Y4mFormat format;
    std::vector<Y4mFrame> frames;
};

inline ParsedStream ParseStream(const Bytes& bytes) {
    ParsedStream p;
    MemorySource source(bytes.data(), bytes.size());
    Y4mReader reader(source);
    if (!reader.ReadHeader(&p.error)) return p;
    p.header = reader.HeaderLine();
    p.format = reader.Format();
    for (;;) {
        Y4mFrame frame;
        const auto r = reader.ReadFrame(&frame, &p.error);
        if (r == Y4mReader::Result::Error) return p;
        if (r == Y4mReader::Result::End) break;
        p.frames.push_back(std::move(frame));
    }
    p.ok = true;
    return p;
}

inline bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

inline bool FileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// Headers as ffmpeg writes them, one per layout and depth this tool takes.
inline std::vector<std::string> AllFormatHeaders(int w, int h) {
    const std::string size = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F25:1 Ip A1:1 ";
    return {
        size + "C420jpeg XYSCSS=420JPEG",
        size + "C420paldv XYSCSS=420PALDV",
        size + "C420mpeg2 XYSCSS=420MPEG2",
        size + "C420 XYSCSS=420",
        size + "C420jpeg XYSCSS=420JPEG XCOLORRANGE=FULL",
        size + "C411 XYSCSS=411 XCOLORRANGE=LIMITED",
        size + "C422 XYSCSS=422 XCOLORRANGE=LIMITED",
        size + "C444 XYSCSS=444 XCOLORRANGE=LIMITED",
        size + "C444alpha XYSCSS=444 XCOLORRANGE=LIMITED",
        size + "Cmono XCOLORRANGE=FULL",
        size + "Cmono",
        size + "C420p10 XYSCSS=420P10 XCOLORRANGE=LIMITED",
        size + "C422p10 XYSCSS=422P10 XCOLORRANGE=LIMITED",
        size + "C444p10 XYSCSS=444P10 XCOLORRANGE=FULL",
        size + "C420p12 XYSCSS=420P12 XCOLORRANGE=LIMITED",
        size + "C444p12 XYSCSS=444P12 XCOLORRANGE=FULL",
        size + "Cmono10 XCOLORRANGE=FULL",
        size + "Cmono12 XCOLORRANGE=LIMITED",
    };
}

}  // namespace velgarde::test
