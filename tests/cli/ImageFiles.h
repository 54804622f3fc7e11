// Small image files of every kind built byte by byte, so the tests (and the
// fuzzers' seeds) cover what common encoders rarely write: palettes,
// interlacing, sub-byte and 16-bit samples, bit fields, RLE, colour maps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velgarde::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16le(Bytes* b, unsigned v) {
    b->push_back(static_cast<std::uint8_t>(v));
    b->push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32le(Bytes* b, std::uint32_t v) {
    Put16le(b, v & 0xffff);
    Put16le(b, v >> 16);
}
inline void Put32be(Bytes* b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b->push_back(static_cast<std::uint8_t>(v >> s));
}

inline std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

inline void PngChunk(Bytes* png, const char* type, const Bytes& data) {
    Put32be(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png->size();
    png->insert(png->end(), type, type + 4);
    png->insert(png->end(), data.begin(), data.end());
    Put32be(png, Crc32(png->data() + start, png->size() - start));
}

// zlib data in stored (uncompressed) blocks.
inline Bytes Stored(const Bytes& raw) {
    Bytes z = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        Put16le(&z, static_cast<unsigned>(n));
        Put16le(&z, static_cast<unsigned>(~n & 0xffff));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    Put32be(&z, b << 16 | a);
    return z;
}

// A PNG of `samples` (row by row, `channels` per pixel, each < 2^depth),
// optionally Adam7-interlaced, with a palette and tRNS if given.
inline Bytes MakePng(int w, int h, int depth, int colourType, bool interlaced, const std::vector<unsigned>& samples,
                     const Bytes& palette = {}, const Bytes& trns = {}) {
    static const int channelsOf[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = channelsOf[colourType];
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes ihdr;
    Put32be(&ihdr, static_cast<std::uint32_t>(w));
    Put32be(&ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colourType), 0, 0,
                             static_cast<std::uint8_t>(interlaced ? 1 : 0)});
    PngChunk(&png, "IHDR", ihdr);
    if (!palette.empty()) PngChunk(&png, "PLTE", palette);
    if (!trns.empty()) PngChunk(&png, "tRNS", trns);
    struct Pass { int x0, y0, dx, dy; };
    const std::vector<Pass> passes = interlaced
        ? std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
        : std::vector<Pass>{{0, 0, 1, 1}};
    Bytes raw;
    for (const Pass& p : passes) {
        for (int y = p.y0; y < h; y += p.dy) {
            if (p.x0 >= w) break;
            raw.push_back(0);  // filter: none
            unsigned acc = 0;
            int bits = 0;
            for (int x = p.x0; x < w; x += p.dx)
                for (int c = 0; c < channels; ++c) {
                    const unsigned v = samples[(static_cast<std::size_t>(y) * w + x) * channels + c];
                    if (depth == 16) {
                        raw.push_back(static_cast<std::uint8_t>(v >> 8));
                        raw.push_back(static_cast<std::uint8_t>(v));
                    } else {
                        acc = acc << depth | v;
                        bits += depth;
                        if (bits == 8) raw.push_back(static_cast<std::uint8_t>(acc)), acc = 0, bits = 0;
                    }
                }
            if (bits > 0) raw.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
        }
    }
    PngChunk(&png, "IDAT", Stored(raw));
    PngChunk(&png, "IEND", {});
    return png;
}

// A BMP with a 40-byte header (or `headerSize` 108/124 with masks), rows
// bottom-up unless topDown. `rows` holds each row's pixel bytes unpadded.
inline Bytes MakeBmp(int w, int h, int bpp, const std::vector<Bytes>& rows, const Bytes& palette = {},
                     std::uint32_t compression = 0, const std::vector<std::uint32_t>& masks = {},
                     bool topDown = false, std::uint32_t headerSize = 40) {
    Bytes info;
    Put32le(&info, headerSize);
    Put32le(&info, static_cast<std::uint32_t>(w));
    Put32le(&info, static_cast<std::uint32_t>(topDown ? -h : h));
    Put16le(&info, 1);
    Put16le(&info, static_cast<unsigned>(bpp));
    Put32le(&info, compression);
    Put32le(&info, 0);
    Put32le(&info, 2835), Put32le(&info, 2835);
    Put32le(&info, 0), Put32le(&info, 0);
    Bytes extra;  // masks after a 40-byte header, or inside a later one
    for (std::uint32_t m : masks) Put32le(headerSize == 40 ? &extra : &info, m);
    while (info.size() < headerSize) info.push_back(0);
    Bytes pixels;
    for (const Bytes& row : rows) {
        pixels.insert(pixels.end(), row.begin(), row.end());
        while (pixels.size() % 4 != 0) pixels.push_back(0);
    }
    Bytes b = {'B', 'M'};
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + info.size() + extra.size() + palette.size());
    Put32le(&b, offset + static_cast<std::uint32_t>(pixels.size()));
    Put32le(&b, 0);
    Put32le(&b, offset);
    b.insert(b.end(), info.begin(), info.end());
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// A TGA: header, colour map, then `data` as stored.
inline Bytes MakeTga(int type, int w, int h, int bits, const Bytes& data, const Bytes& map = {}, int mapBits = 0,
                     int descriptor = 0) {
    Bytes t = {0, static_cast<std::uint8_t>(map.empty() ? 0 : 1), static_cast<std::uint8_t>(type)};
    Put16le(&t, 0);
    Put16le(&t, map.empty() ? 0 : static_cast<unsigned>(map.size() / ((mapBits + 7) / 8)));
    t.push_back(static_cast<std::uint8_t>(mapBits));
    Put16le(&t, 0), Put16le(&t, 0);
    Put16le(&t, static_cast<unsigned>(w)), Put16le(&t, static_cast<unsigned>(h));
    t.push_back(static_cast<std::uint8_t>(bits));
    t.push_back(static_cast<std::uint8_t>(descriptor));
    t.insert(t.end(), map.begin(), map.end());
    t.insert(t.end(), data.begin(), data.end());
    return t;
}

// A GIF of one image of colour indices (8-bit codes, cleared often so the
// code width stays 9 bits), on a screen that may be larger.
inline Bytes MakeGif(int screenW, int screenH, int left, int top, int w, int h, const Bytes& indices,
                     const Bytes& palette /* 256 RGB */, int transparent = -1, bool interlaced = false) {
    Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
    Put16le(&g, static_cast<unsigned>(screenW));
    Put16le(&g, static_cast<unsigned>(screenH));
    g.insert(g.end(), {0xf7, 0, 0});
    g.insert(g.end(), palette.begin(), palette.end());
    if (transparent >= 0) g.insert(g.end(), {0x21, 0xf9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparent), 0});
    g.push_back(0x2c);
    Put16le(&g, static_cast<unsigned>(left)), Put16le(&g, static_cast<unsigned>(top));
    Put16le(&g, static_cast<unsigned>(w)), Put16le(&g, static_cast<unsigned>(h));
    g.push_back(interlaced ? 0x40 : 0);
    g.push_back(8);
    // Rows in the order they are stored.
    std::vector<int> order;
    if (interlaced) {
        const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int p = 0; p < 4; ++p)
            for (int y = start[p]; y < h; y += step[p]) order.push_back(y);
    } else {
        for (int y = 0; y < h; ++y) order.push_back(y);
    }
    Bytes codes;
    std::uint32_t acc = 0;
    int bits = 0;
    const auto emit = [&](unsigned code) {
        acc |= code << bits;
        bits += 9;
        while (bits >= 8) codes.push_back(static_cast<std::uint8_t>(acc)), acc >>= 8, bits -= 8;
    };
    int sinceClear = 0;
    emit(256);
    for (int y : order)
        for (int x = 0; x < w; ++x) {
            if (++sinceClear == 200) emit(256), sinceClear = 0;
            emit(indices[static_cast<std::size_t>(y) * w + x]);
        }
    emit(257);
    if (bits > 0) codes.push_back(static_cast<std::uint8_t>(acc));
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
        g.push_back(static_cast<std::uint8_t>(n));
        g.insert(g.end(), codes.begin() + at, codes.begin() + at + n);
    }
    g.push_back(0);
    g.push_back(0x3b);
    return g;
}

}  // namespace velgarde::test
