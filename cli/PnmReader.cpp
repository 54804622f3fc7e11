// PNM: binary PGM (P5) and PPM (P6). A maximum of 255 gives the stored
// bytes as they are (as stb_image does); other maximums are scaled to the
// full range, and maximums above 255 give a 16-bit picture.
#include "cli/ByteReader.h"
#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Whitespace and comments, then a decimal number; false if none.
bool HeaderNumber(ByteReader& r, const ByteVector& file, std::uint32_t* value) {
    for (;;) {
        if (r.Left() == 0) return false;
        const std::uint8_t c = file[r.Position()];
        if (IsSpace(c)) {
            r.Skip(1);
        } else if (c == '#') {
            while (r.Left() > 0 && file[r.Position()] != '\n' && file[r.Position()] != '\r') r.Skip(1);
        } else {
            break;
        }
    }
    std::uint64_t v = 0;
    int digits = 0;
    while (r.Left() > 0 && file[r.Position()] >= '0' && file[r.Position()] <= '9') {
        v = v * 10 + (file[r.Position()] - '0');
        if (v > 0xffffffffu) return false;
        r.Skip(1);
        ++digits;
    }
    *value = static_cast<std::uint32_t>(v);
    return digits > 0;
}

}  // namespace

bool IsPnm(const ByteVector& b) {
    return b.size() >= 3 && b[0] == 'P' && (b[1] == '5' || b[1] == '6') && IsSpace(b[2]);
}

bool ReadPnm(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    ByteReader r(file.data(), file.size());
    r.Skip(2);
    const int channels = file[1] == '6' ? 3 : 1;
    std::uint32_t width = 0, height = 0, maximum = 0;
    if (!HeaderNumber(r, file, &width) || !HeaderNumber(r, file, &height) || !HeaderNumber(r, file, &maximum) ||
        r.Left() == 0 || !IsSpace(file[r.Position()])) {
        *error = r.Left() == 0 ? "truncated PNM: the file ends inside its header"
                               : "damaged PNM: its header is not width, height and maximum";
        return false;
    }
    r.Skip(1);  // one whitespace byte, then the samples
    if (maximum < 1 || maximum > 65535) {
        *error = "damaged PNM: sample maximum " + std::to_string(maximum) + " (1 to 65535)";
        return false;
    }
    if (width < 1 || height < 1 || width > 0x7fffffff || height > 0x7fffffff) {
        *error = "damaged PNM: size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    const int depth = maximum > 255 ? 16 : 8;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (!context.Admit("PNM", w, h, channels, depth, 0, error)) return false;
    const std::size_t sampleBytes = depth / 8;
    const std::size_t rowSamples = static_cast<std::size_t>(w) * channels;
    const std::size_t rowBytes = rowSamples * sampleBytes;
    if (r.Left() / rowBytes < static_cast<std::size_t>(h)) {
        *error = TruncatedMessage("PNM", r.Left() / rowBytes, height);
        return false;
    }
    Image image(w, h, channels, depth);
    const std::uint8_t* p = file.data() + r.Position();
    const std::uint32_t full = depth == 16 ? 65535 : 255;
    const std::size_t count = rowSamples * static_cast<std::size_t>(h);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t v = depth == 16 ? (std::uint32_t{p[2 * i]} << 8) | p[2 * i + 1] : p[i];
        if (v > maximum) {
            *error = "damaged PNM: sample " + std::to_string(v) + " above its maximum " + std::to_string(maximum) +
                     " (row " + std::to_string(i / rowSamples + 1) + ")";
            return false;
        }
        const std::uint32_t scaled = maximum == full ? v : (v * full + maximum / 2) / maximum;
        if (depth == 16)
            image.pixels16[i] = static_cast<std::uint16_t>(scaled);
        else
            image.pixels[i] = static_cast<std::uint8_t>(scaled);
        if (i % rowSamples == 0 && (i / rowSamples & 255) == 0) context.Rows(i / rowSamples, height);
    }
    out->image = std::move(image);
    return true;
}

}  // namespace velgarde
