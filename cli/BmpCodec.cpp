// BMP: Windows bitmaps of 1, 4, 8, 16, 24 and 32 bits, uncompressed or with
// bit fields, in every header version; written as 24 bits, or 32 with alpha.
// The pixels are those stb_image gives for the same valid file, except where
// it misreads the format (OS/2 palettes, V3 headers' masks).
#include <algorithm>
#include <cstring>

#include "cli/ByteReader.h"
#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

int HighBit(std::uint32_t v) {
    int n = -1;
    while (v != 0) {
        ++n;
        v >>= 1;
    }
    return n;
}

int BitCount(std::uint32_t v) {
    int n = 0;
    for (; v != 0; v &= v - 1) ++n;
    return n;
}

// A masked field scaled to 8 bits by repeating its bits.
struct Field {
    std::uint32_t mask = 0;
    int shift = 0;  // right shift that puts the field's top bit at bit 7
    int bits = 0;
    void Set(std::uint32_t m) {
        mask = m;
        shift = HighBit(m) - 7;
        bits = BitCount(m);
    }
    unsigned Of(std::uint32_t v) const {
        static const unsigned mul[9] = {0, 0xff, 0x55, 0x49, 0x11, 0x21, 0x41, 0x81, 0x01};
        static const unsigned shr[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};
        v &= mask;
        v = shift < 0 ? v << -shift : v >> shift;
        v >>= 8 - bits;
        return (v * mul[bits]) >> shr[bits];
    }
};

bool Damaged(const std::string& what, std::string* error) {
    *error = "damaged BMP: " + what;
    return false;
}
bool Unsupported(const std::string& what, std::string* error) {
    *error = "unsupported BMP: " + what;
    return false;
}

}  // namespace

bool IsBmp(const ByteVector& file) { return file.size() >= 2 && file[0] == 'B' && file[1] == 'M'; }

bool ReadBmp(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    ByteReader r(file.data(), file.size());
    std::uint32_t offset = 0, headerSize = 0, u = 0;
    unsigned planes = 0, bpp = 0;
    std::int64_t width = 0, height = 0;
    std::uint32_t compression = 0, xPerMetre = 0, yPerMetre = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};
    const auto truncatedHeader = [&] {
        *error = "truncated BMP: the file ends inside its header";
        return false;
    };
    if (!r.Skip(10) || !r.U32le(&offset) || !r.U32le(&headerSize)) return truncatedHeader();
    if (headerSize != 12 && headerSize != 40 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        return Unsupported("header of " + std::to_string(headerSize) + " bytes", error);
    if (headerSize == 12) {
        unsigned w = 0, h = 0;
        if (!r.U16le(&w) || !r.U16le(&h) || !r.U16le(&planes) || !r.U16le(&bpp)) return truncatedHeader();
        width = w;
        height = h;
    } else {
        std::uint32_t w = 0, h = 0;
        if (!r.U32le(&w) || !r.U32le(&h) || !r.U16le(&planes) || !r.U16le(&bpp) || !r.U32le(&compression) ||
            !r.U32le(&u) || !r.U32le(&xPerMetre) || !r.U32le(&yPerMetre) || !r.Skip(8))
            return truncatedHeader();
        width = static_cast<std::int32_t>(w);
        height = static_cast<std::int32_t>(h);
        if (headerSize >= 56)
            for (auto& m : masks)
                if (!r.U32le(&m)) return truncatedHeader();
    }
    if (planes != 1) return Damaged(std::to_string(planes) + " planes", error);
    if (compression == 1 || compression == 2) return Unsupported("RLE compression", error);
    if (compression > 3) return Unsupported("compression type " + std::to_string(compression), error);
    if (compression == 3 && bpp != 16 && bpp != 32) return Damaged("bit fields at " + std::to_string(bpp) + " bits", error);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return Unsupported(std::to_string(bpp) + " bits per pixel", error);
    // Bit fields follow a 40-byte header; the later headers hold them.
    if (compression == 3 && headerSize == 40) {
        if (!r.U32le(&masks[0]) || !r.U32le(&masks[1]) || !r.U32le(&masks[2])) return truncatedHeader();
        masks[3] = 0;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width < 1 || height < 1) return Damaged("size " + std::to_string(width) + "x" + std::to_string(height), error);

    // Uncompressed 32 bits carry alpha in the top byte, unless every pixel
    // leaves it 0 (writers that mean no alpha); 16 bits are 5-5-5.
    bool alphaIfAnySet = false;
    if (compression == 0) {
        if (bpp == 16) {
            masks[0] = 31u << 10, masks[1] = 31u << 5, masks[2] = 31u, masks[3] = 0;
        } else if (bpp == 32) {
            masks[0] = 0xffu << 16, masks[1] = 0xffu << 8, masks[2] = 0xffu, masks[3] = 0xffu << 24;
            alphaIfAnySet = true;
        } else {
            masks[0] = masks[1] = masks[2] = masks[3] = 0;
        }
    }
    if (bpp >= 16 && bpp != 24) {
        if (masks[0] == 0 || masks[1] == 0 || masks[2] == 0) return Damaged("empty colour masks", error);
        for (const auto m : masks)
            if (BitCount(m) > 8) return Unsupported("more than 8 bits per colour", error);
    }
    const int channels = bpp != 24 && masks[3] != 0 ? 4 : 3;

    // The palette fills the gap between the headers and the pixels.
    const std::size_t entry = headerSize == 12 ? 3 : 4;
    std::vector<std::uint8_t> palette;  // RGB triples
    std::size_t colours = 0;
    if (bpp < 16) {
        if (offset < r.Position()) return Damaged("pixels that overlap its header", error);
        colours = std::min<std::size_t>((offset - r.Position()) / entry, 256);
        if (colours == 0) return Damaged("no palette", error);
        const std::uint8_t* p = r.Take(colours * entry);
        if (p == nullptr) return truncatedHeader();
        palette.resize(colours * 3);
        for (std::size_t i = 0; i < colours; ++i) {
            palette[3 * i] = p[entry * i + 2];
            palette[3 * i + 1] = p[entry * i + 1];
            palette[3 * i + 2] = p[entry * i];
        }
    }
    // A V5 header may carry its ICC profile: offset from the header, size.
    if (headerSize == 124) {
        ByteReader v5(file.data(), file.size());
        std::uint32_t type = 0, at = 0, size = 0;
        if (v5.Seek(14 + 56) && v5.U32le(&type) && type == 0x4D424544 /* MBED */ && v5.Seek(14 + 112) &&
            v5.U32le(&at) && v5.U32le(&size) && v5.Seek(14 + std::size_t{at}) && size > 0) {
            const std::uint8_t* profile = v5.Take(size);
            if (profile != nullptr) out->meta.icc.assign(profile, profile + size);
        }
    }
    if (static_cast<std::int32_t>(xPerMetre) > 0 && static_cast<std::int32_t>(yPerMetre) > 0) {
        out->meta.xPerMetre = xPerMetre;
        out->meta.yPerMetre = yPerMetre;
    }

    if (!context.Admit("BMP", static_cast<int>(std::min<std::int64_t>(width, 1 << 30)),
                       static_cast<int>(std::min<std::int64_t>(height, 1 << 30)), channels, 8, 0, error))
        return false;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (offset < r.Position() || !r.Seek(offset)) {
        if (offset >= r.Position()) {
            *error = TruncatedMessage("BMP", 0, static_cast<std::uint64_t>(h));
            return false;
        }
        return Damaged("pixels that overlap its header", error);
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * bpp + 7) / 8;
    const std::size_t stride = (rowBytes + 3) / 4 * 4;
    // The last row may come without its padding.
    const std::size_t left = r.Left();
    if (left < stride * (h - 1) + rowBytes) {
        *error = TruncatedMessage("BMP", left / stride, static_cast<std::uint64_t>(h));
        return false;
    }
    Image image(w, h, channels);
    const std::uint8_t* data = file.data() + r.Position();
    unsigned alphaSeen = 0;
    Field fields[4];
    for (int i = 0; i < 4; ++i) fields[i].Set(masks[i]);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = data + stride * static_cast<std::size_t>(y);
        std::uint8_t* dst = image.At(0, topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x, dst += channels) {
            if (bpp < 16) {
                const std::size_t bit = static_cast<std::size_t>(x) * bpp;
                const unsigned index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index >= colours)
                    return Damaged("a pixel uses colour " + std::to_string(index) + " of a palette of " +
                                       std::to_string(colours),
                                   error);
                std::memcpy(dst, &palette[3 * index], 3);
                if (channels == 4) dst[3] = 255;
            } else if (bpp == 24) {
                const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
                dst[0] = p[2], dst[1] = p[1], dst[2] = p[0];
            } else {
                const std::uint8_t* p = row + (bpp / 8) * static_cast<std::size_t>(x);
                std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8);
                if (bpp == 32) v |= (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
                for (int c = 0; c < 3; ++c) dst[c] = static_cast<std::uint8_t>(fields[c].Of(v));
                if (channels == 4) {
                    dst[3] = static_cast<std::uint8_t>(fields[3].Of(v));
                    alphaSeen |= dst[3];
                }
            }
        }
        if ((y & 255) == 0) context.Rows(static_cast<std::uint64_t>(y), static_cast<std::uint64_t>(h));
    }
    if (alphaIfAnySet && alphaSeen == 0)
        for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
    out->image = std::move(image);
    return true;
}

bool WriteBmp(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings, ByteVector* out,
              std::vector<std::string>*, std::string* error) {
    const int w = image.width, h = image.height, c = image.channels;
    const bool alpha = c == 2 || c == 4;
    const std::uint32_t headerSize = alpha ? 108 : 40;
    const std::size_t stride = alpha ? 4 * static_cast<std::size_t>(w) : (3 * static_cast<std::size_t>(w) + 3) / 4 * 4;
    const std::uint64_t total = 14 + headerSize + std::uint64_t{stride} * static_cast<std::uint64_t>(h);
    if (total > 0xffffffffu) {
        *error = "a BMP file holds at most 4 GiB";
        return false;
    }
    ByteVector& b = *out;
    b.assign(static_cast<std::size_t>(total), 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, static_cast<std::uint32_t>(total));
    put32(10, 14 + headerSize);
    put32(14, headerSize);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    b[26] = 1;
    b[28] = alpha ? 32 : 24;
    put32(30, alpha ? 3 : 0);
    put32(34, static_cast<std::uint32_t>(total - 14 - headerSize));
    if (meta.xPerMetre != 0 && meta.yPerMetre != 0) {
        put32(38, meta.xPerMetre);
        put32(42, meta.yPerMetre);
    }
    if (alpha) {
        put32(54, 0x00ff0000u), put32(58, 0x0000ff00u), put32(62, 0x000000ffu), put32(66, 0xff000000u);
        put32(70, 0x73524742u);  // sRGB
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = b.data() + 14 + headerSize + stride * static_cast<std::size_t>(h - 1 - y);
        const std::uint8_t* src = image.At(0, y);
        for (int x = 0; x < w; ++x, src += c) {
            const std::uint8_t r = src[0], g = c >= 3 ? src[1] : src[0], bl = c >= 3 ? src[2] : src[0];
            *dst++ = bl, *dst++ = g, *dst++ = r;
            if (alpha) *dst++ = src[c - 1];
        }
        if (settings.progress && (y & 255) == 0) settings.progress(static_cast<double>(y) / h);
    }
    return true;
}

}  // namespace velgarde
