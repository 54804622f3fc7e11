// Still images: the formats of ImageFormats.h in, PNG, JPEG and BMP out.
// Decoding checks the picture's size and the memory it takes before any
// pixel is decoded, applies the EXIF orientation, and fails on a truncated
// or damaged file; encoding says (in notes) what the output cannot hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Image.h"
#include "cli/ImageCodecs.h"
#include "cli/ImageMetadata.h"
#include "cli/Options.h"

namespace velgarde {

// The format's name if the bytes are an image velgarde reads, else empty.
std::string ImageKind(const std::vector<std::uint8_t>& bytes);

// Decodes keeping the file's channel count and depth (16 bits for a 16-bit
// PNG or PNM, 8 otherwise).
bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits,
                 DecodedImage* decoded, std::string* error, const DecodeHooks& hooks = {});
bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, Image* image,
                 std::string* error);

// Png, Jpeg or Bmp. A 16-bit image becomes 8-bit in JPEG and BMP;
// *notes says what a format could not hold (alpha in JPEG, depth, metadata).
bool EncodeImage(const Image& image, const ImageMetadata& meta, OutputFormat format,
                 const EncodeSettings& settings, ByteSink& sink, std::string* error,
                 std::vector<std::string>* notes = nullptr);
bool EncodeImage(const Image& image, const ImageMetadata& meta, OutputFormat format, int quality,
                 ByteSink& sink, std::string* error, std::vector<std::string>* notes = nullptr);
bool EncodePng(const Image& image, ByteSink& sink, std::string* error);

// 16 bits to 8, to nearest.
Image ReducedTo8Bits(const Image& image);

}  // namespace velgarde
