#include "cli/ImageMetadata.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cli/Stb.h"

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

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

// One whole PNG chunk: length, type, data, CRC.
ByteVector PngChunk(const char* type, const ByteVector& data) {
    ByteVector chunk(12 + data.size());
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) chunk[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(0, static_cast<std::uint32_t>(data.size()));
    std::memcpy(&chunk[4], type, 4);
    if (!data.empty()) std::memcpy(&chunk[8], data.data(), data.size());
    put32(8 + data.size(), Crc32(chunk.data() + 4, 4 + data.size()));
    return chunk;
}

const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

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

// Offset of IFD0's orientation value, or 0.
std::size_t OrientationOffset(const ByteVector& exif) {
    if (exif.size() < 8) return 0;
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M')) return 0;
    const Tiff t{exif, little};
    if (t.U16(2) != 42) return 0;
    const std::size_t ifd = t.U32(4);
    if (!t.Ok(ifd, 2)) return 0;
    const unsigned count = t.U16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * std::size_t{i};
        if (!t.Ok(entry, 12)) return 0;
        if (t.U16(entry) == 0x0112 && t.U16(entry + 2) == 3) return entry + 8;
    }
    return 0;
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

ImageMetadata ReadPngMetadata(const ByteVector& png) {
    ImageMetadata m;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = Be32(&png[at]);
        if (length > png.size() - at - 12) break;
        const char* type = reinterpret_cast<const char*>(&png[at + 4]);
        const std::uint8_t* data = &png[at + 8];
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
        if (std::memcmp(type, "iCCP", 4) == 0) {
            // Profile name, NUL, compression method 0, zlib data.
            const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, length));
            if (nul != nullptr && nul + 2 <= data + length) {
                const int compressed = static_cast<int>(data + length - (nul + 2));
                int size = 0;
                char* profile = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(nul + 2), compressed, &size);
                if (profile != nullptr) {
                    m.icc.assign(profile, profile + size);
                    std::free(profile);
                }
            }
        } else if (std::memcmp(type, "pHYs", 4) == 0 && length == 9 && data[8] == 1) {
            m.xPerMetre = Be32(data);
            m.yPerMetre = Be32(data + 4);
        } else if (std::memcmp(type, "eXIf", 4) == 0) {
            m.exif.assign(data, data + length);
        } else if (std::memcmp(type, "sRGB", 4) == 0 || std::memcmp(type, "gAMA", 4) == 0 ||
                   std::memcmp(type, "cHRM", 4) == 0) {
            m.pngColour.emplace_back(png.begin() + at, png.begin() + at + 12 + length);
        }
        at += 12 + std::size_t{length};
    }
    m.orientation = ExifOrientation(m.exif);
    return m;
}

ImageMetadata ReadJpegMetadata(const ByteVector& jpeg) {
    ImageMetadata m;
    std::vector<std::pair<int, ByteVector>> iccParts;
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
        if (marker == 0xe0 && size >= 12 && std::memcmp(data, "JFIF\0", 5) == 0) {
            const unsigned units = data[7], x = Be16(data + 8), y = Be16(data + 10);
            const double perMetre = units == 1 ? 1 / 0.0254 : units == 2 ? 100 : 0;
            if (perMetre > 0) {
                m.xPerMetre = static_cast<std::uint32_t>(std::lround(x * perMetre));
                m.yPerMetre = static_cast<std::uint32_t>(std::lround(y * perMetre));
            }
        } else if (marker == 0xe1 && size > 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
            m.exif.assign(data + 6, data + size);
        } else if (marker == 0xe2 && size > 14 && std::memcmp(data, "ICC_PROFILE\0", 12) == 0) {
            iccParts.emplace_back(data[12], ByteVector(data + 14, data + size));
        }
        at += 2 + length;
    }
    std::stable_sort(iccParts.begin(), iccParts.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& part : iccParts) m.icc.insert(m.icc.end(), part.second.begin(), part.second.end());
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

namespace {

ByteVector MetadataChunks(const ImageMetadata& meta) {
    ByteVector out;
    const auto add = [&](const ByteVector& chunk) { out.insert(out.end(), chunk.begin(), chunk.end()); };
    if (!meta.icc.empty()) {
        int size = 0;
        unsigned char* z = stbi_zlib_compress(const_cast<unsigned char*>(meta.icc.data()),
                                              static_cast<int>(meta.icc.size()), &size, 8);
        if (z != nullptr) {
            ByteVector data = {'I', 'C', 'C', ' ', 'P', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
            data.insert(data.end(), z, z + size);
            std::free(z);
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
    if (!meta.exif.empty()) add(PngChunk("eXIf", ExifWithOrientation(meta.exif, meta.orientation)));
    return out;
}

}  // namespace

ByteVector WithPngMetadata(const ByteVector& png, const ImageMetadata& meta) {
    const std::size_t afterHeader = 8 + 12 + 13;  // signature, IHDR
    if (png.size() < afterHeader) return png;
    const ByteVector chunks = MetadataChunks(meta);
    ByteVector out(png.begin(), png.begin() + afterHeader);
    out.insert(out.end(), chunks.begin(), chunks.end());
    out.insert(out.end(), png.begin() + afterHeader, png.end());
    return out;
}

ByteVector WithJpegMetadata(const ByteVector& jpeg, const ImageMetadata& meta) {
    // stb writes SOI and a 16-byte JFIF APP0 first: density at 13..17.
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
    const auto segment = [&](int marker, const ByteVector& head, const std::uint8_t* data, std::size_t size) {
        out.push_back(0xff);
        out.push_back(static_cast<std::uint8_t>(marker));
        PutBe16(&out, static_cast<std::uint32_t>(2 + head.size() + size));
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), data, data + size);
    };
    const ByteVector exif = ExifWithOrientation(meta.exif, meta.orientation);
    if (!exif.empty() && exif.size() <= 65533 - 6)
        segment(0xe1, {'E', 'x', 'i', 'f', 0, 0}, exif.data(), exif.size());
    // The ICC profile in pieces of at most 65519 bytes, numbered from 1.
    const std::size_t piece = 65519;
    const std::size_t pieces = (meta.icc.size() + piece - 1) / piece;
    for (std::size_t i = 0; i < pieces && pieces < 256; ++i) {
        ByteVector head = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        head.push_back(static_cast<std::uint8_t>(i + 1));
        head.push_back(static_cast<std::uint8_t>(pieces));
        const std::size_t size = std::min(piece, meta.icc.size() - i * piece);
        segment(0xe2, head, meta.icc.data() + i * piece, size);
    }
    out.insert(out.end(), jpeg.begin() + afterApp0, jpeg.end());
    return out;
}

ByteVector EncodePng16(const Image& image, const ImageMetadata& meta) {
    static const std::uint8_t colourTypes[5] = {0, 0, 4, 2, 6};
    const std::size_t bpp = 2 * static_cast<std::size_t>(image.channels);
    const std::size_t rowBytes = bpp * static_cast<std::size_t>(image.width);
    // Big-endian samples, then each row with the filter that leaves the
    // smallest sum of magnitudes (as stb and libpng choose).
    ByteVector raw(rowBytes * image.height);
    for (std::size_t i = 0; i < image.pixels16.size(); ++i) {
        raw[2 * i] = static_cast<std::uint8_t>(image.pixels16[i] >> 8);
        raw[2 * i + 1] = static_cast<std::uint8_t>(image.pixels16[i]);
    }
    ByteVector filtered((rowBytes + 1) * image.height);
    ByteVector trial(rowBytes);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = raw.data() + rowBytes * y;
        const std::uint8_t* up = y > 0 ? row - rowBytes : nullptr;
        std::uint8_t* out = filtered.data() + (rowBytes + 1) * y;
        std::uint64_t best = ~std::uint64_t{0};
        for (int f = 0; f < 5; ++f) {
            std::uint64_t sum = 0;
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = up ? up[i] : 0,
                          c = (up && i >= bpp) ? up[i - bpp] : 0;
                int predict = 0;
                switch (f) {
                case 1: predict = a; break;
                case 2: predict = b; break;
                case 3: predict = (a + b) / 2; break;
                case 4: {
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predict = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                    break;
                }
                default: break;
                }
                trial[i] = static_cast<std::uint8_t>(row[i] - predict);
                sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(trial[i])));
            }
            if (sum < best) {
                best = sum;
                out[0] = static_cast<std::uint8_t>(f);
                std::copy(trial.begin(), trial.end(), out + 1);
            }
        }
    }
    int zsize = 0;
    unsigned char* z = stbi_zlib_compress(filtered.data(), static_cast<int>(filtered.size()), &zsize, 8);
    if (z == nullptr) return {};
    ByteVector png(kPngSignature, kPngSignature + 8);
    ByteVector header;
    PutBe32(&header, static_cast<std::uint32_t>(image.width));
    PutBe32(&header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {16, colourTypes[image.channels], 0, 0, 0});
    const auto add = [&](const ByteVector& chunk) { png.insert(png.end(), chunk.begin(), chunk.end()); };
    add(PngChunk("IHDR", header));
    add(MetadataChunks(meta));
    add(PngChunk("IDAT", ByteVector(z, z + zsize)));
    std::free(z);
    add(PngChunk("IEND", {}));
    return png;
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
