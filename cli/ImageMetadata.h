// What travels with a picture besides its pixels: the ICC profile, the
// resolution, EXIF (and its orientation) and PNG's colour chunks. Read from
// and written into PNG chunks and JPEG segments directly; stb, which decodes
// and encodes the pixels, skips them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Image.h"

namespace velgarde {

using ByteVector = std::vector<std::uint8_t>;

struct ImageMetadata {
    ByteVector icc;             // the ICC profile, uncompressed
    ByteVector exif;            // TIFF data, from "II*\0" or "MM\0*"
    std::uint32_t xPerMetre = 0, yPerMetre = 0;  // resolution; 0: unknown
    // EXIF orientation, 1 to 8: as read, and as written into the EXIF of an
    // output (DecodeImage applies it and sets it to 1).
    int orientation = 1;
    std::vector<ByteVector> pngColour;  // whole sRGB, gAMA, cHRM chunks of a PNG input
};

ImageMetadata ReadPngMetadata(const ByteVector& png);
ImageMetadata ReadJpegMetadata(const ByteVector& jpeg);

// The EXIF orientation tag of TIFF data (1 when absent or unreadable), and
// the same data with that tag (if present) set to `orientation`.
int ExifOrientation(const ByteVector& exif);
ByteVector ExifWithOrientation(const ByteVector& exif, int orientation);

// Turns the pixels the way EXIF orientation `orientation` says, so that they
// stand upright.
void ApplyOrientation(Image* image, int orientation);

// The metadata inserted into an encoded file (after IHDR; after JFIF APP0).
ByteVector WithPngMetadata(const ByteVector& png, const ImageMetadata& meta);
ByteVector WithJpegMetadata(const ByteVector& jpeg, const ImageMetadata& meta);

// A 16-bit PNG, with its metadata (stb writes 8-bit PNG only).
ByteVector EncodePng16(const Image& image, const ImageMetadata& meta);

// Images in a GIF file (0 if it cannot be read that far).
int GifFrameCount(const ByteVector& gif);

}  // namespace velgarde
