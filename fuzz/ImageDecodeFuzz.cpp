// libFuzzer target: arbitrary bytes as an image file of any format velgarde
// reads, EXIF orientation included. Every input ends in a picture or an
// error, never a crash; a picture has the size it says, and written as PNG
// it reads back to the same samples.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/ByteStream.h"
#include "cli/ImageIO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velgarde;
    // Smaller limits than the tool's keep each run fast; the checks are the same code.
    ImageLimits limits;
    limits.maxDimension = 4096;
    limits.maxPixels = 1 << 20;
    limits.memoryBudget = std::uint64_t{96} << 20;
    const std::vector<std::uint8_t> file(data, data + size);
    DecodedImage d;
    std::string error;
    if (!DecodeImage(file, limits, &d, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    const Image& img = d.image;
    if (img.width < 1 || img.height < 1 || img.channels < 1 || img.channels > 4) std::abort();
    const std::size_t samples = img.PixelCount() * static_cast<std::size_t>(img.channels);
    if ((img.bitDepth == 16 ? img.pixels16.size() : img.pixels.size()) != samples) std::abort();
    if (d.meta.orientation != 1) std::abort();
    if (img.PixelCount() > 4096) return 0;
    MemorySink png;
    if (!EncodeImage(img, d.meta, OutputFormat::Png, 0, png, &error)) std::abort();
    Image back;
    if (!DecodeImage(png.Bytes(), limits, &back, &error)) std::abort();
    if (back.width != img.width || back.height != img.height || back.pixels != img.pixels ||
        back.pixels16 != img.pixels16)
        std::abort();
    return 0;
}
