// What a YUV4MPEG2 stream header says about every frame: size, sample depth,
// chroma layout and range. The header line itself is kept verbatim by the
// reader, so tags this tool does not interpret reach the output unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velgarde {

enum class ChromaLayout { Mono, C420, C411, C422, C444, C444Alpha };

struct Y4mLimits {
    int maxDimension = 16384;
    std::uint64_t maxPixels = std::uint64_t{1} << 26;  // 8192 x 8192
    std::size_t maxHeaderBytes = 65536;
    std::size_t maxFrameHeaderBytes = 4096;
};

struct Y4mFormat {
    int width = 0;
    int height = 0;
    int bitDepth = 8;  // 8, 10 or 12; samples above 8 bits are 16-bit little-endian
    ChromaLayout chroma = ChromaLayout::C420;
    bool fullRange = false;  // XCOLORRANGE=FULL
    std::string colourSpace = "420jpeg";  // the C tag as written, or the default
    char interlacing = '?';  // the I tag: p, t (top field first), b, m (mixed) or ?

    int BytesPerSample() const { return bitDepth > 8 ? 2 : 1; }
    std::size_t LumaBytes() const;
    // Every plane after luma (two chroma planes, and alpha for 444alpha).
    std::size_t ChromaBytes() const;
    std::size_t FrameBytes() const { return LumaBytes() + ChromaBytes(); }
};

// Whether a frame holds two fields: its own I tag ("Ixyz", y = i or p) if
// it has one, else the stream's (It or Ib).
bool FrameIsInterlaced(const Y4mFormat& format, const std::string& frameParameters);

// Parses a header line without its terminating newline. Sizes beyond
// `limits` are rejected before anything is allocated for them.
bool ParseY4mHeader(std::string_view line, const Y4mLimits& limits, Y4mFormat* format,
                    std::string* error);

}  // namespace velgarde
