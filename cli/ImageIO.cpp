#include "cli/ImageIO.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "cli/Stb.h"

namespace velgarde {

std::string ImageKind(const std::vector<std::uint8_t>& b) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0) return "PNG";
    if (b.size() >= 3 && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff) return "JPEG";
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return "BMP";
    if (b.size() >= 6 && std::memcmp(b.data(), "GIF8", 4) == 0) return "GIF";
    if (b.size() >= 3 && b[0] == 'P' && (b[1] == '5' || b[1] == '6') &&
        (b[2] == ' ' || b[2] == '\n' || b[2] == '\r' || b[2] == '\t'))
        return "PNM";
    // TGA has no signature: stb's test of its header decides.
    int w = 0, h = 0, c = 0;
    if (b.size() >= 18 && b.size() <= static_cast<std::size_t>(INT_MAX) &&
        stbi_info_from_memory(b.data(), static_cast<int>(b.size()), &w, &h, &c))
        return "TGA";
    return "";
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits,
                 DecodedImage* decoded, std::string* error) {
    DecodedImage d;
    d.kind = ImageKind(bytes);
    if (d.kind.empty()) {
        *error = "not a YUV4MPEG2 stream or an image velgarde reads (PNG, JPEG, BMP, GIF, TGA, PNM)";
        return false;
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        *error = "image file too large";
        return false;
    }
    const auto* data = bytes.data();
    const int size = static_cast<int>(bytes.size());
    int w = 0, h = 0, c = 0;
    if (!stbi_info_from_memory(data, size, &w, &h, &c)) {
        *error = "corrupt " + d.kind + " image (" + stbi_failure_reason() + ")";
        return false;
    }
    if (w < 1 || h < 1 || w > limits.maxDimension || h > limits.maxDimension ||
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > limits.maxPixels) {
        *error = "unsupported image size " + std::to_string(w) + "x" + std::to_string(h) +
                 " (at most " + std::to_string(limits.maxDimension) + " per side and " +
                 std::to_string(limits.maxPixels) + " pixels)";
        return false;
    }
    const bool deep = d.kind == "PNG" && stbi_is_16_bit_from_memory(data, size) != 0;
    if (deep) {
        stbi_us* pixels = stbi_load_16_from_memory(data, size, &w, &h, &c, 0);
        if (pixels == nullptr) {
            *error = "corrupt PNG image (" + std::string(stbi_failure_reason()) + ")";
            return false;
        }
        d.image = Image(w, h, c, 16);
        std::memcpy(d.image.pixels16.data(), pixels, d.image.pixels16.size() * 2);
        stbi_image_free(pixels);
    } else {
        // For a GIF, stb's plain load gives the first frame.
        stbi_uc* pixels = stbi_load_from_memory(data, size, &w, &h, &c, 0);
        if (pixels == nullptr) {
            *error = "corrupt " + d.kind + " image (" + stbi_failure_reason() + ")";
            return false;
        }
        d.image = Image(w, h, c);
        std::memcpy(d.image.pixels.data(), pixels, d.image.pixels.size());
        stbi_image_free(pixels);
    }
    if (d.kind == "PNG") d.meta = ReadPngMetadata(bytes);
    if (d.kind == "JPEG") d.meta = ReadJpegMetadata(bytes);
    if (d.kind == "GIF") d.gifFrames = GifFrameCount(bytes);
    ApplyOrientation(&d.image, d.meta.orientation);
    d.meta.orientation = 1;  // now upright
    *decoded = std::move(d);
    return true;
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, Image* image,
                 std::string* error) {
    DecodedImage d;
    if (!DecodeImage(bytes, limits, &d, error)) return false;
    *image = std::move(d.image);
    return true;
}

Image ReducedTo8Bits(const Image& image) {
    if (image.bitDepth != 16) return image;
    Image out(image.width, image.height, image.channels);
    for (std::size_t i = 0; i < out.pixels.size(); ++i)
        out.pixels[i] = static_cast<std::uint8_t>((image.pixels16[i] * 255u + 32767u) / 65535u);
    return out;
}

namespace {

void ToVector(void* context, void* data, int size) {
    auto* out = static_cast<ByteVector*>(context);
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size > 0) out->insert(out->end(), p, p + size);
}

}  // namespace

bool EncodeImage(const Image& input, const ImageMetadata& meta, OutputFormat format, int quality,
                 ByteSink& sink, std::string* error, std::vector<std::string>* notes) {
    ByteVector bytes;
    if (format == OutputFormat::Png && input.bitDepth == 16) {
        bytes = EncodePng16(input, meta);
    } else {
        if (input.bitDepth == 16 && notes != nullptr)
            notes->push_back(std::string(FormatName(format)) + " holds 8 bits: the 16-bit image is reduced");
        const Image reduced = ReducedTo8Bits(input);
        const Image& image = input.bitDepth == 16 ? reduced : input;
        const int w = image.width, h = image.height, c = image.channels;
        int ok = 0;
        switch (format) {
        case OutputFormat::Jpeg:
            if (c % 2 == 0 && notes != nullptr) notes->push_back("JPEG holds no alpha: it is dropped");
            ok = stbi_write_jpg_to_func(ToVector, &bytes, w, h, c, image.pixels.data(), quality);
            if (ok) bytes = WithJpegMetadata(bytes, meta);
            break;
        case OutputFormat::Bmp:
            ok = stbi_write_bmp_to_func(ToVector, &bytes, w, h, c, image.pixels.data());
            // The resolution, in the info header's pixels per metre (stb leaves 0).
            if (ok && bytes.size() >= 46 && bytes[14] >= 40 && meta.xPerMetre != 0 && meta.yPerMetre != 0)
                for (int i = 0; i < 4; ++i) {
                    bytes[38 + i] = static_cast<std::uint8_t>(meta.xPerMetre >> (8 * i));
                    bytes[42 + i] = static_cast<std::uint8_t>(meta.yPerMetre >> (8 * i));
                }
            break;
        default:
            ok = stbi_write_png_to_func(ToVector, &bytes, w, h, c, image.pixels.data(), w * c);
            if (ok) bytes = WithPngMetadata(bytes, meta);
            break;
        }
        if (!ok) bytes.clear();
    }
    if (bytes.empty()) {
        *error = std::string("cannot encode ") + FormatName(format);
        return false;
    }
    if (!sink.Write(bytes.data(), bytes.size())) {
        *error = "write failed: " + (sink.Error().empty() ? std::string("unknown error") : sink.Error());
        return false;
    }
    return true;
}

bool EncodePng(const Image& image, ByteSink& sink, std::string* error) {
    return EncodeImage(image, ImageMetadata{}, OutputFormat::Png, 90, sink, error);
}

}  // namespace velgarde
