// Still images: PNG (8 and 16 bits), JPEG, BMP, GIF (first frame), TGA and
// PNM in; PNG, JPEG and BMP out. stb decodes and encodes the pixels;
// ImageMetadata carries the ICC profile, resolution and EXIF across.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Image.h"
#include "cli/ImageMetadata.h"
#include "cli/Options.h"

namespace velgarde {

struct ImageLimits {
    int maxDimension = 16384;
    std::uint64_t maxPixels = std::uint64_t{1} << 26;
};

struct DecodedImage {
    Image image;           // upright: EXIF orientation applied
    ImageMetadata meta;
    std::string kind;      // "PNG", "JPEG", "BMP", "GIF", "TGA", "PNM"
    int gifFrames = 0;     // images in a GIF file
};

// The format's name if the bytes are an image velgarde reads, else empty.
std::string ImageKind(const std::vector<std::uint8_t>& bytes);

// Decodes keeping the file's channel count and depth (16 bits for a 16-bit
// PNG, 8 otherwise). The size is checked against `limits` before any pixel
// is decoded.
bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits,
                 DecodedImage* decoded, std::string* error);
bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, Image* image,
                 std::string* error);

// Png, Jpeg or Bmp. A 16-bit image becomes 8-bit in JPEG and BMP;
// *notes says what a format could not hold (alpha in JPEG, depth).
bool EncodeImage(const Image& image, const ImageMetadata& meta, OutputFormat format, int quality,
                 ByteSink& sink, std::string* error, std::vector<std::string>* notes = nullptr);
bool EncodePng(const Image& image, ByteSink& sink, std::string* error);

// 16 bits to 8, to nearest.
Image ReducedTo8Bits(const Image& image);

}  // namespace velgarde
