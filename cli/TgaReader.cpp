// TGA: colour-mapped, true-colour and grey images, plain or run-length
// coded, 8 to 32 bits. The pixels are those stb_image gives for the same
// valid file, except that a colour map starting above index 0 and
// right-to-left rows are read as the format says (stb ignores both).
#include <cstring>

#include "cli/ByteReader.h"
#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

struct TgaHeader {
    unsigned idLength, mapType, type, mapFirst, mapLength, mapBits, width, height, bits, descriptor;
};

bool ParseHeader(const ByteVector& file, TgaHeader* h) {
    if (file.size() < 18) return false;
    const std::uint8_t* p = file.data();
    const auto u16 = [&](int at) { return p[at] | (unsigned{p[at + 1]} << 8); };
    *h = {p[0], p[1], p[2], u16(3), u16(5), p[7], u16(12), u16(14), p[16], p[17]};
    return true;
}

// Channels a pixel of `bits` gives, 0 if none.
int ChannelsOf(unsigned bits, bool grey) {
    switch (bits) {
    case 8: return 1;
    case 15: return 3;
    case 16: return grey ? 2 : 3;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

// One stored pixel or colour-map entry as RGB(A) or grey(alpha).
void Unpack(const std::uint8_t* p, unsigned bits, int channels, std::uint8_t* out) {
    if (channels == 3 && (bits == 15 || bits == 16)) {
        const unsigned v = p[0] | (unsigned{p[1]} << 8);
        out[0] = static_cast<std::uint8_t>(((v >> 10) & 31) * 255 / 31);
        out[1] = static_cast<std::uint8_t>(((v >> 5) & 31) * 255 / 31);
        out[2] = static_cast<std::uint8_t>((v & 31) * 255 / 31);
    } else if (channels >= 3) {  // stored as BGR(A)
        out[0] = p[2], out[1] = p[1], out[2] = p[0];
        if (channels == 4) out[3] = p[3];
    } else {
        std::memcpy(out, p, static_cast<std::size_t>(channels));
    }
}

}  // namespace

bool IsTga(const ByteVector& file) {
    TgaHeader h;
    if (!ParseHeader(file, &h) || h.mapType > 1) return false;
    if (h.mapType == 1) {
        if (h.type != 1 && h.type != 9) return false;
        if (h.mapBits != 8 && h.mapBits != 15 && h.mapBits != 16 && h.mapBits != 24 && h.mapBits != 32) return false;
        if (h.bits != 8 && h.bits != 16) return false;
    } else {
        if (h.type != 2 && h.type != 3 && h.type != 10 && h.type != 11) return false;
        if (h.bits != 8 && h.bits != 15 && h.bits != 16 && h.bits != 24 && h.bits != 32) return false;
    }
    return h.width >= 1 && h.height >= 1;
}

bool ReadTga(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    TgaHeader h;
    if (!IsTga(file) || !ParseHeader(file, &h)) {
        *error = "damaged TGA: its header describes no image";
        return false;
    }
    const bool mapped = h.mapType == 1;
    const bool rle = h.type >= 9;
    const bool grey = h.type == 3 || h.type == 11;
    const int channels = mapped ? ChannelsOf(h.mapBits, false) : ChannelsOf(h.bits, grey);
    if (channels == 0 || (mapped && h.mapLength == 0)) {
        *error = "damaged TGA: no colour map";
        return false;
    }
    ByteReader r(file.data(), file.size());
    r.Skip(18);
    std::vector<std::uint8_t> map;
    const std::size_t pixelBytes = (h.bits + 7) / 8;
    if (!r.Skip(h.idLength)) {
        *error = "truncated TGA: the file ends inside its header";
        return false;
    }
    if (mapped) {
        const std::size_t entryBytes = (h.mapBits + 7) / 8;
        const std::uint8_t* p = r.Take(entryBytes * h.mapLength);
        if (p == nullptr) {
            *error = "truncated TGA: the file ends inside its colour map";
            return false;
        }
        map.resize(static_cast<std::size_t>(channels) * h.mapLength);
        for (unsigned i = 0; i < h.mapLength; ++i)
            Unpack(p + entryBytes * i, h.mapBits, channels, &map[static_cast<std::size_t>(channels) * i]);
    }
    const int w = static_cast<int>(h.width), ht = static_cast<int>(h.height);
    if (!context.Admit("TGA", w, ht, channels, 8, 0, error)) return false;
    Image image(w, ht, channels);
    const bool bottomUp = (h.descriptor & 0x20) == 0;
    const bool rightToLeft = (h.descriptor & 0x10) != 0;
    const std::size_t count = image.PixelCount();
    std::uint8_t pixel[4] = {0, 0, 0, 0};
    unsigned run = 0;
    bool repeating = false;
    std::size_t i = 0;
    for (; i < count; ++i) {
        bool fresh = true;
        if (rle) {
            if (run == 0) {
                unsigned command = 0;
                if (!r.U8(&command)) break;
                run = 1 + (command & 127);
                repeating = (command & 128) != 0;
            } else if (repeating) {
                fresh = false;
            }
            --run;
        }
        if (fresh) {
            const std::uint8_t* p = r.Take(pixelBytes);
            if (p == nullptr) break;
            if (mapped) {
                const unsigned index = h.bits == 8 ? p[0] : p[0] | (unsigned{p[1]} << 8);
                if (index < h.mapFirst || index - h.mapFirst >= h.mapLength) {
                    *error = "damaged TGA: a pixel uses colour " + std::to_string(index) +
                             ", outside its colour map";
                    return false;
                }
                std::memcpy(pixel, &map[static_cast<std::size_t>(channels) * (index - h.mapFirst)],
                            static_cast<std::size_t>(channels));
            } else {
                Unpack(p, h.bits, channels, pixel);
            }
        }
        const int x = static_cast<int>(i % static_cast<std::size_t>(w));
        const int y = static_cast<int>(i / static_cast<std::size_t>(w));
        std::memcpy(image.At(rightToLeft ? w - 1 - x : x, bottomUp ? ht - 1 - y : y), pixel,
                    static_cast<std::size_t>(channels));
        if (x == 0 && (y & 255) == 0) context.Rows(static_cast<std::uint64_t>(y), static_cast<std::uint64_t>(ht));
    }
    if (i < count) {
        *error = TruncatedMessage("TGA", i / static_cast<std::size_t>(w), static_cast<std::uint64_t>(ht));
        return false;
    }
    out->image = std::move(image);
    return true;
}

}  // namespace velgarde
