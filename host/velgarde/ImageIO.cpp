#include "host/velgarde/ImageIO.h"

#include <climits>
#include <cstring>

#include "host/velgarde/Stb.h"

namespace velgarde {

bool LooksLikeImage(const std::vector<std::uint8_t>& b) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0) return true;
    if (b.size() >= 3 && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff) return true;
    return b.size() >= 2 && b[0] == 'B' && b[1] == 'M';
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, Image* image,
                 bool* reducedFrom16, std::string* error) {
    if (!LooksLikeImage(bytes)) {
        *error = "not a YUV4MPEG2 stream or a PNG, JPEG or BMP image";
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
        *error = std::string("corrupt image (") + stbi_failure_reason() + ")";
        return false;
    }
    if (w < 1 || h < 1 || w > limits.maxDimension || h > limits.maxDimension ||
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > limits.maxPixels) {
        *error = "unsupported image size " + std::to_string(w) + "x" + std::to_string(h) +
                 " (at most " + std::to_string(limits.maxDimension) + " per side and " +
                 std::to_string(limits.maxPixels) + " pixels)";
        return false;
    }
    *reducedFrom16 = stbi_is_16_bit_from_memory(data, size) != 0;
    stbi_uc* pixels = stbi_load_from_memory(data, size, &w, &h, &c, 0);
    if (pixels == nullptr) {
        *error = std::string("corrupt image (") + stbi_failure_reason() + ")";
        return false;
    }
    Image out(w, h, c);
    std::memcpy(out.pixels.data(), pixels, out.pixels.size());
    stbi_image_free(pixels);
    *image = std::move(out);
    return true;
}

namespace {

struct SinkContext {
    ByteSink* sink;
    bool ok;
};

void WriteToSink(void* context, void* data, int size) {
    auto* c = static_cast<SinkContext*>(context);
    if (c->ok && size > 0) c->ok = c->sink->Write(data, static_cast<std::size_t>(size));
}

}  // namespace

bool EncodePng(const Image& image, ByteSink& sink, std::string* error) {
    SinkContext context{&sink, true};
    const int stride = image.width * image.channels;
    if (!stbi_write_png_to_func(WriteToSink, &context, image.width, image.height, image.channels,
                                image.pixels.data(), stride)) {
        *error = "cannot encode PNG";
        return false;
    }
    if (!context.ok) {
        *error = "write failed: " + (sink.Error().empty() ? std::string("unknown error") : sink.Error());
        return false;
    }
    return true;
}

}  // namespace velgarde
