// PNG, JPEG and BMP in, PNG out, through stb.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/velgarde/ByteStream.h"
#include "host/velgarde/Image.h"

namespace velgarde {

struct ImageLimits {
    int maxDimension = 16384;
    std::uint64_t maxPixels = std::uint64_t{1} << 26;
};

// True if the bytes start like a PNG, JPEG or BMP file.
bool LooksLikeImage(const std::vector<std::uint8_t>& bytes);

// Decodes to 8 bits per channel, keeping the file's channel count. The size
// is checked against `limits` before any pixel is decoded. *reducedFrom16 is
// set for a 16-bit PNG, which arrives reduced to 8 bits.
bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, Image* image,
                 bool* reducedFrom16, std::string* error);

bool EncodePng(const Image& image, ByteSink& sink, std::string* error);

}  // namespace velgarde
