#include "cli/ImageMetadata.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <zlib.h>

namespace velgarde {
namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
void PutBe32(ByteVector* out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out->push_back(static_cast<std::uint8_t>(v >> s));
}
void PutBe16(ByteVector* out, std::uint32_t v) {
    out->push_back(static_cast<std::uint8_t>(v >> 8));
    out->push_back(static_cast<std::uint8_t>(v));
}
void Append(ByteVector* out, const char* text) { out->insert(out->end(), text, text + std::strlen(text) + 1); }

std::uint32_t Crc(const std::uint8_t* data, std::size_t size) {
    uLong crc = crc32(0, Z_NULL, 0);
    while (size > 0) {
        const uInt n = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, data, n);
        data += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

// One whole PNG chunk: length, type, data, CRC.
ByteVector PngChunk(const char* type, const ByteVector& data) {
    ByteVector chunk;
    PutBe32(&chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    PutBe32(&chunk, Crc(chunk.data() + 4, 4 + data.size()));
    return chunk;
}

// Inflates zlib data, giving up past kMaxMetadataBytes. 0: done; 1: too
// large; -1: damaged.
int Inflate(const std::uint8_t* data, std::size_t size, ByteVector* out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return -1;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(size, 0xffffffffu));
    out->clear();
    std::uint8_t buffer[16384];
    const int tooLarge = 100;  // beside zlib's own codes
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        out->insert(out->end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (out->size() > kMaxMetadataBytes) status = tooLarge;
        if (status == Z_BUF_ERROR && z.avail_in == 0) status = Z_DATA_ERROR;
    }
    inflateEnd(&z);
    if (status == Z_STREAM_END) return 0;
    out->clear();
    return status == tooLarge ? 1 : -1;
}

ByteVector Deflate(const ByteVector& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    ByteVector out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

const char kXmpKeyword[] = "XML:com.adobe.xmp";
const char kIptcKeyword[] = "Raw profile type iptc";
const char kJpegXmp[] = "http://ns.adobe.com/xap/1.0/";  // and its NUL
const char kJpegPhotoshop[] = "Photoshop 3.0";           // and its NUL

// A profile whose header gives its own size and signature; padding after it
// is cut. Empty (with a note) if it is not one.
ByteVector CheckedProfile(ByteVector icc, std::vector<std::string>* notes) {
    if (icc.size() < 132 || std::memcmp(&icc[36], "acsp", 4) != 0 || Be32(icc.data()) < 132 ||
        Be32(icc.data()) > icc.size()) {
        notes->push_back("the ICC profile (" + std::to_string(icc.size()) + " bytes) is damaged: dropped");
        return {};
    }
    icc.resize(Be32(icc.data()));
    return icc;
}

// TIFF reading with bounds checks: byte order from the header.
struct Tiff {
    const ByteVector& d;
    bool little;
    bool Ok(std::size_t at, std::size_t n) const { return at <= d.size() && n <= d.size() - at; }
    unsigned U16(std::size_t at) const {
        return little ? d[at] | (d[at + 1] << 8) : (d[at] << 8) | d[at + 1];
    }
    std::uint32_t U32(std::size_t at) const {
        return little ? d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (std::uint32_t{d[at + 3]} << 24)
                      : Be32(&d[at]);
    }
};

bool IsTiff(const ByteVector& exif) {
    if (exif.size() < 8) return false;
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M')) return false;
    const Tiff t{exif, little};
    return t.U16(2) == 42 && t.Ok(t.U32(4), 2);
}

ByteVector CheckedExif(ByteVector exif, std::vector<std::string>* notes) {
    if (IsTiff(exif)) return exif;
    notes->push_back("the EXIF block (" + std::to_string(exif.size()) + " bytes) is damaged: dropped");
    return {};
}

// Offset of IFD0's entry count, or 0.
std::size_t Ifd0(const ByteVector& exif) { return IsTiff(exif) ? Tiff{exif, exif[0] == 'I'}.U32(4) : 0; }

// Offset of IFD0's orientation value, or 0.
std::size_t OrientationOffset(const ByteVector& exif) {
    const std::size_t ifd = Ifd0(exif);
    if (ifd == 0) return 0;
    const Tiff t{exif, exif[0] == 'I'};
    const unsigned count = t.U16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * std::size_t{i};
        if (!t.Ok(entry, 12)) return 0;
        if (t.U16(entry) == 0x0112 && t.U16(entry + 2) == 3) return entry + 8;
    }
    return 0;
}

// IPTC-IIM records in the text of a "Raw profile type iptc" chunk: a name
// line, the byte count, then the bytes in hex.
bool IptcFromRawProfile(const ByteVector& text, ByteVector* out) {
    std::size_t at = 0;
    const auto skipSpace = [&] {
        while (at < text.size() && (text[at] == '\n' || text[at] == ' ' || text[at] == '\r')) ++at;
    };
    skipSpace();
    while (at < text.size() && text[at] != '\n') ++at;  // the name
    skipSpace();
    std::size_t count = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && count <= kMaxMetadataBytes)
        count = count * 10 + (text[at++] - '0');
    if (count == 0 || count > kMaxMetadataBytes) return false;
    out->clear();
    int high = -1;
    for (; at < text.size() && out->size() < count; ++at) {
        const std::uint8_t c = text[at];
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c == '\n' || c == '\r' || c == ' ') continue;
        else return false;
        if (high < 0) {
            high = v;
        } else {
            out->push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out->size() == count;
}

ByteVector RawProfileOf(const ByteVector& data) {
    static const char hex[] = "0123456789abcdef";
    const std::string head = "\niptc\n" + std::string(8 - std::min<std::size_t>(8, std::to_string(data.size()).size()), ' ') +
                             std::to_string(data.size()) + "\n";
    ByteVector text(head.begin(), head.end());
    for (std::size_t i = 0; i < data.size(); ++i) {
        text.push_back(static_cast<std::uint8_t>(hex[data[i] >> 4]));
        text.push_back(static_cast<std::uint8_t>(hex[data[i] & 15]));
        if (i % 36 == 35 || i + 1 == data.size()) text.push_back('\n');
    }
    return text;
}

// The IPTC resource (0x0404) of Photoshop's image resource blocks.
bool IptcFromPhotoshop(const ByteVector& irb, ByteVector* out) {
    std::size_t at = 0;
    while (at + 12 <= irb.size() && std::memcmp(&irb[at], "8BIM", 4) == 0) {
        const unsigned id = Be16(&irb[at + 4]);
        std::size_t name = 1 + irb[at + 6];
        name += name & 1;
        if (at + 6 + name + 4 > irb.size()) return false;
        const std::size_t size = Be32(&irb[at + 6 + name]);
        const std::size_t data = at + 6 + name + 4;
        if (size > irb.size() - data) return false;
        if (id == 0x0404) {
            out->assign(irb.begin() + data, irb.begin() + data + size);
            return true;
        }
        at = data + size + (size & 1);
    }
    return false;
}

}  // namespace

int ExifOrientation(const ByteVector& exif) {
    const std::size_t at = OrientationOffset(exif);
    if (at == 0) return 1;
    const unsigned v = Tiff{exif, exif[0] == 'I'}.U16(at);
    return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
}

ByteVector ExifWithOrientation(const ByteVector& exif, int orientation) {
    ByteVector out = exif;
    const std::size_t at = OrientationOffset(out);
    if (at != 0) {
        const bool little = out[0] == 'I';
        out[at] = static_cast<std::uint8_t>(little ? orientation : 0);
        out[at + 1] = static_cast<std::uint8_t>(little ? 0 : orientation);
    }
    return out;
}

ByteVector ExifWithoutThumbnail(const ByteVector& exif) {
    ByteVector out = exif;
    const std::size_t ifd = Ifd0(out);
    if (ifd == 0) return out;
    const Tiff t{out, out[0] == 'I'};
    const std::size_t next = ifd + 2 + 12 * std::size_t{t.U16(ifd)};
    // IFD0's link to IFD1 becomes the end of the chain.
    if (t.Ok(next, 4)) std::fill(out.begin() + next, out.begin() + next + 4, 0);
    return out;
}

ImageMetadata ReadPngMetadata(const ByteVector& png) {
    ImageMetadata m;
    std::vector<std::string> seen;
    bool pastImage = false;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = Be32(&png[at]);
        if (length > png.size() - at - 12) break;
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        const std::size_t whole = 12 + std::size_t{length};
        at += whole;
        if (type == "IEND") break;
        if (type == "IDAT") {
            pastImage = true;
            continue;
        }
        const bool colour = type == "sRGB" || type == "gAMA" || type == "cHRM";
        const bool once = colour || type == "iCCP" || type == "pHYs" || type == "eXIf";
        const bool text = type == "iTXt" || type == "zTXt" || type == "tEXt";
        if (!once && !text) continue;
        if (Crc(data - 4, 4 + length) != Be32(data + length)) {
            m.notes.push_back("PNG chunk " + type + " has a bad checksum: dropped");
            continue;
        }
        if (once && std::find(seen.begin(), seen.end(), type) != seen.end()) {
            m.notes.push_back("a second PNG " + type + " chunk: dropped");
            continue;
        }
        if (once && pastImage && type != "eXIf") continue;  // too late to apply
        if (once) seen.push_back(type);
        // Keyword, NUL, then the chunk's own fields.
        const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, length));
        const std::size_t keyword = nul != nullptr ? static_cast<std::size_t>(nul - data) : length;
        const std::string key(reinterpret_cast<const char*>(data), keyword);
        if (type == "iCCP") {
            ByteVector profile;
            const int r = keyword + 2 <= length && data[keyword + 1] == 0
                              ? Inflate(data + keyword + 2, length - keyword - 2, &profile)
                              : -1;
            if (r == 1)
                m.notes.push_back("the ICC profile inflates beyond " + std::to_string(kMaxMetadataBytes >> 20) +
                                  " MiB: dropped");
            else if (r < 0)
                m.notes.push_back("the ICC profile's compressed data is damaged: dropped");
            else
                m.icc = CheckedProfile(std::move(profile), &m.notes);
        } else if (type == "pHYs") {
            if (length == 9 && data[8] == 1) {
                m.xPerMetre = Be32(data);
                m.yPerMetre = Be32(data + 4);
            }
        } else if (type == "eXIf") {
            m.exif = CheckedExif(ByteVector(data, data + length), &m.notes);
        } else if (colour) {
            m.pngColour.emplace_back(data - 8, data + length + 4);
        } else if (type == "iTXt" && key == kXmpKeyword && m.xmp.empty()) {
            // Compression flag and method, language, translated keyword, text.
            std::size_t p = keyword + 3;
            for (int field = 0; field < 2 && p <= length; ++field) {
                const auto* end = static_cast<const std::uint8_t*>(std::memchr(data + p, 0, length - std::min<std::size_t>(p, length)));
                p = end != nullptr ? static_cast<std::size_t>(end - data) + 1 : length + 1;
            }
            if (p > length || keyword + 2 >= length) {
                m.notes.push_back("the XMP chunk is damaged: dropped");
            } else if (data[keyword + 1] == 0) {
                m.xmp.assign(data + p, data + length);
            } else if (Inflate(data + p, length - p, &m.xmp) != 0) {
                m.notes.push_back("the XMP chunk is damaged or inflates beyond " +
                                  std::to_string(kMaxMetadataBytes >> 20) + " MiB: dropped");
            }
        } else if (key == kIptcKeyword && m.iptc.empty() && type != "iTXt") {
            ByteVector raw;
            const bool ok = type == "tEXt" ? (raw.assign(data + std::min<std::size_t>(keyword + 1, length), data + length), true)
                                           : keyword + 2 <= length && Inflate(data + keyword + 2, length - keyword - 2, &raw) == 0;
            if (!ok || !IptcFromRawProfile(raw, &m.iptc)) {
                m.iptc.clear();
                m.notes.push_back("the IPTC chunk is damaged: dropped");
            }
        }
    }
    m.orientation = ExifOrientation(m.exif);
    return m;
}

ImageMetadata ReadJpegMetadata(const ByteVector& jpeg) {
    ImageMetadata m;
    std::vector<std::pair<int, ByteVector>> iccParts;
    int iccCount = -1;
    bool iccBroken = false;
    ByteVector photoshop;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff) {
        const int marker = jpeg[at + 1];
        if (marker == 0xd9 || marker == 0xda) break;  // end, or the scan starts
        if (marker == 0xff) {  // fill byte
            ++at;
            continue;
        }
        const std::size_t length = Be16(&jpeg[at + 2]);
        if (length < 2 || length > jpeg.size() - at - 2) break;
        const std::uint8_t* data = &jpeg[at + 4];
        const std::size_t size = length - 2;
        const auto starts = [&](const char* text, std::size_t n) {
            return size >= n && std::memcmp(data, text, n) == 0;
        };
        if (marker == 0xe0 && size >= 12 && starts("JFIF\0", 5)) {
            const unsigned units = data[7], x = Be16(data + 8), y = Be16(data + 10);
            const double perMetre = units == 1 ? 1 / 0.0254 : units == 2 ? 100 : 0;
            if (perMetre > 0) {
                m.xPerMetre = static_cast<std::uint32_t>(std::lround(x * perMetre));
                m.yPerMetre = static_cast<std::uint32_t>(std::lround(y * perMetre));
            }
        } else if (marker == 0xe1 && starts("Exif\0\0", 6)) {
            if (m.exif.empty()) m.exif = CheckedExif(ByteVector(data + 6, data + size), &m.notes);
        } else if (marker == 0xe1 && starts(kJpegXmp, sizeof kJpegXmp)) {
            if (m.xmp.empty()) m.xmp.assign(data + sizeof kJpegXmp, data + size);
        } else if (marker == 0xe1 && starts("http://ns.adobe.com/xmp/extension/", 35)) {
            if (m.notes.empty() || m.notes.back().find("extended XMP") == std::string::npos)
                m.notes.push_back("extended XMP (beyond one segment) is not kept");
        } else if (marker == 0xe2 && starts("ICC_PROFILE\0", 12) && size >= 14) {
            // Pieces numbered 1 to n, each once, all saying n.
            if (iccCount >= 0 && iccCount != data[13]) iccBroken = true;
            iccCount = data[13];
            iccParts.emplace_back(data[12], ByteVector(data + 14, data + size));
        } else if (marker == 0xed && starts(kJpegPhotoshop, sizeof kJpegPhotoshop)) {
            photoshop.insert(photoshop.end(), data + sizeof kJpegPhotoshop, data + size);
        }
        at += 2 + length;
    }
    if (!iccParts.empty()) {
        std::stable_sort(iccParts.begin(), iccParts.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        iccBroken = iccBroken || static_cast<int>(iccParts.size()) != iccCount;
        for (std::size_t i = 0; i < iccParts.size(); ++i) iccBroken = iccBroken || iccParts[i].first != static_cast<int>(i + 1);
        if (iccBroken) {
            m.notes.push_back("the ICC profile's pieces are missing or repeated: dropped");
        } else {
            ByteVector icc;
            for (const auto& part : iccParts) icc.insert(icc.end(), part.second.begin(), part.second.end());
            m.icc = CheckedProfile(std::move(icc), &m.notes);
        }
    }
    if (!photoshop.empty()) IptcFromPhotoshop(photoshop, &m.iptc);
    m.orientation = ExifOrientation(m.exif);
    return m;
}

namespace {

template <typename T>
void Orient(std::vector<T>* pixels, int* width, int* height, int channels, int orientation) {
    const int w = *width, h = *height;
    const bool swap = orientation >= 5;
    const int ow = swap ? h : w, oh = swap ? w : h;
    std::vector<T> out(pixels->size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int dx = x, dy = y;
            switch (orientation) {
            case 2: dx = w - 1 - x; break;
            case 3: dx = w - 1 - x; dy = h - 1 - y; break;
            case 4: dy = h - 1 - y; break;
            case 5: dx = y; dy = x; break;
            case 6: dx = h - 1 - y; dy = x; break;
            case 7: dx = h - 1 - y; dy = w - 1 - x; break;
            case 8: dx = y; dy = w - 1 - x; break;
            default: break;
            }
            const T* from = pixels->data() + (static_cast<std::size_t>(y) * w + x) * channels;
            std::copy(from, from + channels, out.data() + (static_cast<std::size_t>(dy) * ow + dx) * channels);
        }
    pixels->swap(out);
    *width = ow;
    *height = oh;
}

// What EXIF becomes in an output: the orientation as written, and no
// thumbnail once the picture was turned.
ByteVector OutputExif(const ImageMetadata& meta) {
    const ByteVector exif = ExifWithOrientation(meta.exif, meta.orientation);
    return meta.turned ? ExifWithoutThumbnail(exif) : exif;
}

ByteVector MetadataChunks(const ImageMetadata& meta) {
    ByteVector out;
    const auto add = [&](const ByteVector& chunk) { out.insert(out.end(), chunk.begin(), chunk.end()); };
    if (!meta.icc.empty()) {
        const ByteVector z = Deflate(meta.icc);
        if (!z.empty()) {
            ByteVector data;
            Append(&data, "ICC Profile");
            data.push_back(0);  // zlib
            data.insert(data.end(), z.begin(), z.end());
            add(PngChunk("iCCP", data));
        }
    }
    for (const auto& chunk : meta.pngColour) {
        // sRGB and iCCP exclude each other; the profile wins.
        if (!meta.icc.empty() && std::memcmp(chunk.data() + 4, "sRGB", 4) == 0) continue;
        add(chunk);
    }
    if (meta.xPerMetre != 0 && meta.yPerMetre != 0) {
        ByteVector data;
        PutBe32(&data, meta.xPerMetre);
        PutBe32(&data, meta.yPerMetre);
        data.push_back(1);
        add(PngChunk("pHYs", data));
    }
    if (!meta.exif.empty()) add(PngChunk("eXIf", OutputExif(meta)));
    if (!meta.xmp.empty()) {
        ByteVector data;
        Append(&data, kXmpKeyword);
        data.insert(data.end(), {0, 0, 0, 0});  // uncompressed, no language, no translation
        data.insert(data.end(), meta.xmp.begin(), meta.xmp.end());
        add(PngChunk("iTXt", data));
    }
    if (!meta.iptc.empty()) {
        ByteVector data;
        Append(&data, kIptcKeyword);
        data.push_back(0);
        const ByteVector z = Deflate(RawProfileOf(meta.iptc));
        data.insert(data.end(), z.begin(), z.end());
        add(PngChunk("zTXt", data));
    }
    return out;
}

}  // namespace

void ApplyOrientation(Image* image, int orientation) {
    if (orientation < 2 || orientation > 8) return;
    int w = image->width, h = image->height;
    if (image->bitDepth == 16)
        Orient(&image->pixels16, &w, &h, image->channels, orientation);
    else
        Orient(&image->pixels, &w, &h, image->channels, orientation);
    image->width = w;
    image->height = h;
}

ByteVector WithPngMetadata(const ByteVector& png, const ImageMetadata& meta) {
    const std::size_t afterHeader = 8 + 12 + 13;  // signature, IHDR
    if (png.size() < afterHeader) return png;
    const ByteVector chunks = MetadataChunks(meta);
    ByteVector out(png.begin(), png.begin() + afterHeader);
    out.insert(out.end(), chunks.begin(), chunks.end());
    out.insert(out.end(), png.begin() + afterHeader, png.end());
    return out;
}

ByteVector WithJpegMetadata(const ByteVector& jpeg, const ImageMetadata& meta, std::vector<std::string>* notes) {
    // SOI, then a JFIF APP0 of 16 bytes: density at 13..17.
    const std::size_t afterApp0 = 20;
    if (jpeg.size() < afterApp0 || jpeg[3] != 0xe0) return jpeg;
    ByteVector out(jpeg.begin(), jpeg.begin() + afterApp0);
    if (meta.xPerMetre != 0 && meta.yPerMetre != 0) {
        const auto dpi = [](std::uint32_t perMetre) {
            return static_cast<std::uint32_t>(std::clamp<long>(std::lround(perMetre * 0.0254), 1, 65535));
        };
        out[13] = 1;
        out[14] = static_cast<std::uint8_t>(dpi(meta.xPerMetre) >> 8);
        out[15] = static_cast<std::uint8_t>(dpi(meta.xPerMetre));
        out[16] = static_cast<std::uint8_t>(dpi(meta.yPerMetre) >> 8);
        out[17] = static_cast<std::uint8_t>(dpi(meta.yPerMetre));
    }
    const auto note = [&](const std::string& what) {
        if (notes != nullptr) notes->push_back(what);
    };
    // One segment holds 65533 bytes after its marker and length.
    const auto segment = [&](int marker, const ByteVector& head, const std::uint8_t* data, std::size_t size) {
        if (head.size() + size > 65533) return false;
        out.push_back(0xff);
        out.push_back(static_cast<std::uint8_t>(marker));
        PutBe16(&out, static_cast<std::uint32_t>(2 + head.size() + size));
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), data, data + size);
        return true;
    };
    const ByteVector exif = meta.exif.empty() ? ByteVector{} : OutputExif(meta);
    if (!exif.empty() && !segment(0xe1, {'E', 'x', 'i', 'f', 0, 0}, exif.data(), exif.size()))
        note("EXIF of " + std::to_string(exif.size()) + " bytes does not fit a JPEG segment: left out");
    if (!meta.xmp.empty() &&
        !segment(0xe1, ByteVector(kJpegXmp, kJpegXmp + sizeof kJpegXmp), meta.xmp.data(), meta.xmp.size()))
        note("XMP of " + std::to_string(meta.xmp.size()) + " bytes does not fit a JPEG segment: left out");
    // The ICC profile in pieces of at most 65519 bytes, numbered from 1.
    const std::size_t piece = 65519;
    const std::size_t pieces = (meta.icc.size() + piece - 1) / piece;
    if (pieces > 255)
        note("an ICC profile of " + std::to_string(meta.icc.size()) + " bytes does not fit a JPEG: left out");
    for (std::size_t i = 0; i < pieces && pieces <= 255; ++i) {
        ByteVector head = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        head.push_back(static_cast<std::uint8_t>(i + 1));
        head.push_back(static_cast<std::uint8_t>(pieces));
        const std::size_t size = std::min(piece, meta.icc.size() - i * piece);
        segment(0xe2, head, meta.icc.data() + i * piece, size);
    }
    if (!meta.iptc.empty()) {
        // Photoshop's resource block 0x0404, unnamed, padded to even.
        ByteVector block(kJpegPhotoshop, kJpegPhotoshop + sizeof kJpegPhotoshop);
        block.insert(block.end(), {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0});
        PutBe32(&block, static_cast<std::uint32_t>(meta.iptc.size()));
        ByteVector data = meta.iptc;
        if (data.size() & 1) data.push_back(0);
        if (!segment(0xed, block, data.data(), data.size()))
            note("IPTC of " + std::to_string(meta.iptc.size()) + " bytes does not fit a JPEG segment: left out");
    }
    out.insert(out.end(), jpeg.begin() + afterApp0, jpeg.end());
    return out;
}

int GifFrameCount(const ByteVector& gif) {
    std::size_t at = 13;
    if (gif.size() < at) return 0;
    const auto colourTable = [&](std::uint8_t flags) { return flags & 0x80 ? 3u << ((flags & 7) + 1) : 0u; };
    at += colourTable(gif[10]);
    const auto skipBlocks = [&]() {
        while (at < gif.size() && gif[at] != 0) at += 1 + std::size_t{gif[at]};
        ++at;
    };
    int frames = 0;
    while (at < gif.size()) {
        const std::uint8_t kind = gif[at];
        if (kind == 0x3b) break;
        if (kind == 0x21) {  // extension: label, then sub-blocks
            at += 2;
            skipBlocks();
        } else if (kind == 0x2c) {  // image: descriptor, colour table, LZW size, sub-blocks
            if (at + 10 > gif.size()) break;
            ++frames;
            at += 10 + colourTable(gif[at + 9]);
            ++at;
            skipBlocks();
        } else {
            break;
        }
    }
    return frames;
}

}  // namespace velgarde
