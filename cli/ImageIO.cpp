#include "cli/ImageIO.h"

#include <algorithm>
#include <cstdio>

#include "cli/ImageFormats.h"

namespace velgarde {

std::uint64_t DefaultMemoryBudget(std::uint64_t fileBytes) {
    const std::uint64_t floor = std::uint64_t{224} << 20;
    return std::max(floor, fileBytes > (~std::uint64_t{0} / 200) ? ~std::uint64_t{0} : fileBytes * 200);
}

std::uint64_t ImageWorkingBytes(int width, int height, int channels, int bitDepth) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t sample = static_cast<std::uint64_t>(channels) * (bitDepth == 16 ? 2 : 1);
    // While the filter runs: the pixels, their luma before it, and the
    // host's frame of Y, Cb, Cr with its work plane of the same size. Turning
    // (before) and encoding (after, the host's memory given back) take less.
    return pixels * (sample + 2 + 12) + (std::uint64_t{16} << 20);
}

std::uint64_t DecodeContext::MemoryBudget() const {
    return limits_.memoryBudget != 0 ? limits_.memoryBudget : DefaultMemoryBudget(fileBytes_);
}

namespace {

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    if (bytes >= (std::uint64_t{10} << 30))
        std::snprintf(text, sizeof text, "%.0f GB", static_cast<double>(bytes) / 1e9);
    else if (bytes >= 1000000000)
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    else if (bytes >= 1000000)
        std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
    else if (bytes >= 10000)
        std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

}  // namespace

bool DecodeContext::Admit(const std::string& kind, int w, int h, int channels, int bitDepth,
                          std::uint64_t extraBytes, std::string* error) const {
    if (w < 1 || h < 1 || w > limits_.maxDimension || h > limits_.maxDimension ||
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > limits_.maxPixels) {
        *error = "unsupported image size " + std::to_string(w) + "x" + std::to_string(h) + " (at most " +
                 std::to_string(limits_.maxDimension) + " per side and " +
                 std::to_string(limits_.maxPixels / 1000000) + " megapixels)";
        return false;
    }
    const std::uint64_t need = ImageWorkingBytes(w, h, channels, bitDepth) + extraBytes;
    const std::uint64_t budget = MemoryBudget();
    const std::string what = "a " + kind + " of " + std::to_string(w) + "x" + std::to_string(h) + " needs about " +
                             Megabytes(need) + " of memory";
    if (need > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        *error = what + ", more than a " + std::to_string(8 * sizeof(void*)) + "-bit build can address";
        return false;
    }
    if (need > budget) {
        const std::uint64_t mb = (need + 999999) / 1000000;
        *error = what + ", more than the " + Megabytes(budget) + " allowed for " +
                 (limits_.memoryBudget != 0 ? std::string("this run") : "a file of " + Megabytes(fileBytes_)) +
                 "; give --max-memory " + std::to_string(mb) + " (MB) to allow it";
        return false;
    }
    if (hooks_.admitted) hooks_.admitted(kind, w, h, need);
    return true;
}

std::string TruncatedMessage(const std::string& kind, std::uint64_t rowsDone, std::uint64_t rows) {
    return "truncated " + kind + ": the file ends after row " + std::to_string(std::min(rowsDone, rows)) +
           " of " + std::to_string(rows);
}

std::string ImageKind(const std::vector<std::uint8_t>& bytes) {
    const ImageFormatInfo* f = ImageFormatOfFile(bytes);
    return f != nullptr ? f->name : "";
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, const ImageLimits& limits, DecodedImage* decoded,
                 std::string* error, const DecodeHooks& hooks) {
    const ImageFormatInfo* format = ImageFormatOfFile(bytes);
    if (format == nullptr) {
        *error = "not a YUV4MPEG2 stream or an image velgarde reads (" + ImageFormatList(false) + ")";
        return false;
    }
    DecodedImage d;
    d.kind = format->name;
    const DecodeContext context(limits, bytes.size(), hooks);
    if (!format->read(bytes, context, &d, error)) return false;
    d.orientation = d.meta.orientation;
    if (d.meta.orientation != 1) {
        ApplyOrientation(&d.image, d.meta.orientation);
        d.meta.turned = true;
    }
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

bool EncodeImage(const Image& input, const ImageMetadata& meta, OutputFormat format, const EncodeSettings& settings,
                 ByteSink& sink, std::string* error, std::vector<std::string>* notes) {
    const ImageFormatInfo* f = ImageFormatOf(format);
    if (f == nullptr) {
        *error = std::string("cannot encode ") + FormatName(format);
        return false;
    }
    std::vector<std::string> ignored;
    std::vector<std::string>& said = notes != nullptr ? *notes : ignored;
    const bool keepsDepth = format == OutputFormat::Png;
    if (input.bitDepth == 16 && !keepsDepth) said.push_back(std::string(f->name) + " holds 8 bits: the 16-bit image is reduced");
    if (format == OutputFormat::Jpeg && input.channels % 2 == 0) said.push_back("JPEG holds no alpha: it is dropped");
    const unsigned lost = MetadataPresent(meta) & ~f->metadataKept;
    if (lost != 0) said.push_back(std::string(f->name) + " cannot hold " + MetadataNames(lost) + ": left out");
    const Image reduced = input.bitDepth == 16 && !keepsDepth ? ReducedTo8Bits(input) : Image();
    const Image& image = input.bitDepth == 16 && !keepsDepth ? reduced : input;
    ByteVector bytes;
    if (!f->write(image, meta, settings, &bytes, &said, error)) return false;
    if (!sink.Write(bytes.data(), bytes.size())) {
        *error = "write failed: " + (sink.Error().empty() ? std::string("unknown error") : sink.Error());
        return false;
    }
    return true;
}

bool EncodeImage(const Image& image, const ImageMetadata& meta, OutputFormat format, int quality, ByteSink& sink,
                 std::string* error, std::vector<std::string>* notes) {
    EncodeSettings settings;
    settings.quality = quality;
    return EncodeImage(image, meta, format, settings, sink, error, notes);
}

bool EncodePng(const Image& image, ByteSink& sink, std::string* error) {
    return EncodeImage(image, ImageMetadata{}, OutputFormat::Png, 0, sink, error);
}

}  // namespace velgarde
