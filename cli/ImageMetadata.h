// What travels with a picture besides its pixels: the ICC profile, the
// resolution, EXIF (and its orientation), XMP, IPTC and PNG's colour
// chunks. Read from and written into PNG chunks and JPEG segments directly:
// the pixel codecs skip them. What is damaged, duplicated or inflates past
// kMaxMetadataBytes is dropped, and a note says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Image.h"

namespace velgarde {

using ByteVector = std::vector<std::uint8_t>;

// The most a compressed profile, XMP packet or IPTC block inflates to.
constexpr std::size_t kMaxMetadataBytes = std::size_t{16} << 20;

struct ImageMetadata {
    ByteVector icc;             // the ICC profile, uncompressed
    ByteVector exif;            // TIFF data, from "II*\0" or "MM\0*"
    ByteVector xmp;             // the XMP packet
    ByteVector iptc;            // IPTC-IIM records
    std::uint32_t xPerMetre = 0, yPerMetre = 0;  // resolution; 0: unknown
    // EXIF orientation, 1 to 8: as read, and as written into the EXIF of an
    // output (DecodeImage applies it and sets it to 1).
    int orientation = 1;
    // The pixels were turned since EXIF's thumbnail was made: it is dropped.
    bool turned = false;
    std::vector<ByteVector> pngColour;  // whole sRGB, gAMA, cHRM chunks of a PNG input
    std::vector<std::string> notes;     // what reading dropped, and why
};

ImageMetadata ReadPngMetadata(const ByteVector& png);
ImageMetadata ReadJpegMetadata(const ByteVector& jpeg);

// The EXIF orientation tag of TIFF data (1 when absent or unreadable), and
// the same data with that tag (if present) set to `orientation`.
int ExifOrientation(const ByteVector& exif);
ByteVector ExifWithOrientation(const ByteVector& exif, int orientation);
// The same data without its thumbnail (IFD1); as it was if it has none.
ByteVector ExifWithoutThumbnail(const ByteVector& exif);

// Turns the pixels the way EXIF orientation `orientation` says, so that they
// stand upright.
void ApplyOrientation(Image* image, int orientation);

// The metadata inserted into an encoded file (after IHDR; after JFIF APP0).
// *notes (if given) names what a JPEG's segments cannot hold.
ByteVector WithPngMetadata(const ByteVector& png, const ImageMetadata& meta);
ByteVector WithJpegMetadata(const ByteVector& jpeg, const ImageMetadata& meta,
                            std::vector<std::string>* notes = nullptr);

// Images in a GIF file (0 if it cannot be read that far).
int GifFrameCount(const ByteVector& gif);

}  // namespace velgarde
