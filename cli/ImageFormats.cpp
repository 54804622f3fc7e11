#include "cli/ImageFormats.h"

#include <sstream>

namespace velgarde {

const std::vector<ImageFormatInfo>& ImageFormats() {
    static const std::vector<ImageFormatInfo> formats = {
        {"PNG", OutputFormat::Png, "png", IsPng, ReadPng, WritePng,
         kMetaIcc | kMetaExif | kMetaXmp | kMetaIptc | kMetaResolution, "8 or 16 bits, every kind"},
        {"JPEG", OutputFormat::Jpeg, "jpg jpeg", IsJpeg, ReadJpeg, WriteJpeg,
         kMetaIcc | kMetaExif | kMetaXmp | kMetaIptc | kMetaResolution, "baseline, progressive, CMYK"},
        {"BMP", OutputFormat::Bmp, "bmp", IsBmp, ReadBmp, WriteBmp, kMetaResolution,
         "1 to 32 bits, uncompressed"},
        {"GIF", OutputFormat::Auto, "gif", IsGif, ReadGif, nullptr, 0, "the first frame"},
        {"PNM", OutputFormat::Auto, "pnm ppm pgm", IsPnm, ReadPnm, nullptr, 0, "binary PGM and PPM, 8 or 16 bits"},
        // Last: TGA has no signature, only a header that makes sense.
        {"TGA", OutputFormat::Auto, "tga", IsTga, ReadTga, nullptr, 0, "8 to 32 bits, RLE"},
    };
    return formats;
}

const ImageFormatInfo* ImageFormatOf(OutputFormat format) {
    for (const auto& f : ImageFormats())
        if (f.write != nullptr && f.output == format) return &f;
    return nullptr;
}

const ImageFormatInfo* ImageFormatNamed(const std::string& word) {
    for (const auto& f : ImageFormats()) {
        std::string name = f.name;
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (word == name) return &f;
        std::istringstream extensions(f.extensions);
        std::string ext;
        while (extensions >> ext)
            if (word == ext) return &f;
    }
    return nullptr;
}

const ImageFormatInfo* ImageFormatOfFile(const ByteVector& file) {
    for (const auto& f : ImageFormats())
        if (f.matches(file)) return &f;
    return nullptr;
}

namespace {

std::string Listed(const std::vector<std::string>& items, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

std::string ImageFormatList(bool writtenOnly) {
    std::vector<std::string> names;
    for (const auto& f : ImageFormats())
        if (!writtenOnly || f.write != nullptr) names.push_back(f.name);
    return Listed(names, ", ");
}

std::string WrittenExtensions() {
    std::vector<std::string> extensions;
    for (const auto& f : ImageFormats()) {
        if (f.write == nullptr) continue;
        std::istringstream words(f.extensions);
        std::string ext;
        while (words >> ext) extensions.push_back("." + ext);
    }
    return Listed(extensions, " or ");
}

std::string MetadataNames(unsigned kinds) {
    std::vector<std::string> names;
    if (kinds & kMetaIcc) names.push_back("the ICC profile");
    if (kinds & kMetaExif) names.push_back("EXIF");
    if (kinds & kMetaXmp) names.push_back("XMP");
    if (kinds & kMetaIptc) names.push_back("IPTC");
    if (kinds & kMetaResolution) names.push_back("the resolution");
    return Listed(names, " and ");
}

std::string MetadataShortNames(unsigned kinds) {
    std::vector<std::string> names;
    if (kinds & kMetaIcc) names.push_back("ICC");
    if (kinds & kMetaExif) names.push_back("EXIF");
    if (kinds & kMetaXmp) names.push_back("XMP");
    if (kinds & kMetaIptc) names.push_back("IPTC");
    if (kinds & kMetaResolution) names.push_back("DPI");
    return Listed(names, ", ");
}

unsigned MetadataPresent(const ImageMetadata& meta) {
    unsigned kinds = 0;
    if (!meta.icc.empty()) kinds |= kMetaIcc;
    if (!meta.exif.empty()) kinds |= kMetaExif;
    if (!meta.xmp.empty()) kinds |= kMetaXmp;
    if (!meta.iptc.empty()) kinds |= kMetaIptc;
    if (meta.xPerMetre != 0 && meta.yPerMetre != 0) kinds |= kMetaResolution;
    return kinds;
}

}  // namespace velgarde
