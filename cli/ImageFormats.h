// The image formats velgarde knows, one row each: what --format and an
// output's extension accept, what the messages list, which reader decodes a
// file and which writer encodes one, and what metadata a written file keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ImageCodecs.h"
#include "cli/Options.h"

namespace velgarde {

enum MetadataKind : unsigned {
    kMetaIcc = 1,
    kMetaExif = 2,
    kMetaXmp = 4,
    kMetaIptc = 8,
    kMetaResolution = 16,
};

struct ImageFormatInfo {
    const char* name;        // "JPEG"
    OutputFormat output;     // Auto: read, never written
    const char* extensions;  // "jpg jpeg", lower case; the first is the usual one
    ImageMatcher matches;
    ImageReader read;
    ImageWriter write;       // null for formats only read
    unsigned metadataKept;   // MetadataKind bits read and written
    const char* reads;       // what of the format is read, for the help text
};

const std::vector<ImageFormatInfo>& ImageFormats();
// The row of a written format, or null.
const ImageFormatInfo* ImageFormatOf(OutputFormat format);
// The row whose name (lower case) or extension is `word`, or null.
const ImageFormatInfo* ImageFormatNamed(const std::string& word);
// The row whose reader takes these bytes, or null.
const ImageFormatInfo* ImageFormatOfFile(const ByteVector& file);

// "PNG, JPEG, BMP, GIF, TGA, PNM" (all read) or "PNG, JPEG, BMP" (written).
std::string ImageFormatList(bool writtenOnly);
// ".png, .jpg, .jpeg or .bmp": the extensions of the written formats.
std::string WrittenExtensions();
// "the ICC profile, EXIF and XMP" for MetadataKind bits.
std::string MetadataNames(unsigned kinds);
// "ICC, EXIF, XMP" for MetadataKind bits, for the help text.
std::string MetadataShortNames(unsigned kinds);
// The MetadataKind bits `meta` holds.
unsigned MetadataPresent(const ImageMetadata& meta);

}  // namespace velgarde
