// libFuzzer target: arbitrary bytes through the metadata reader and the
// splicer. The bytes are read as a PNG's chunks, a JPEG's segments and as
// EXIF; what is read is spliced into small PNG and JPEG files, which must
// decode and give back the same metadata.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/ByteStream.h"
#include "cli/ImageIO.h"
#include "cli/ImageMetadata.h"

namespace {

using namespace velgarde;

const ByteVector& Encoded(OutputFormat format) {
    static const ByteVector png = [] {
        MemorySink s;
        std::string e;
        EncodeImage(Image(3, 2, 3), {}, OutputFormat::Png, 0, s, &e);
        return s.Bytes();
    }();
    static const ByteVector jpeg = [] {
        MemorySink s;
        std::string e;
        EncodeImage(Image(3, 2, 3), {}, OutputFormat::Jpeg, 0, s, &e);
        return s.Bytes();
    }();
    return format == OutputFormat::Png ? png : jpeg;
}

void CheckSpliced(const ImageMetadata& meta) {
    for (const OutputFormat format : {OutputFormat::Png, OutputFormat::Jpeg}) {
        const ByteVector file = format == OutputFormat::Png ? WithPngMetadata(Encoded(format), meta)
                                                            : WithJpegMetadata(Encoded(format), meta);
        Image img;
        std::string error;
        // Its EXIF may turn it.
        if (!DecodeImage(file, ImageLimits{}, &img, &error) || img.PixelCount() != 6) std::abort();
        const ImageMetadata back = format == OutputFormat::Png ? ReadPngMetadata(file) : ReadJpegMetadata(file);
        // What was read once reads back alike (a JPEG leaves out what its segments cannot hold).
        if (format == OutputFormat::Png || back.icc.size() == meta.icc.size())
            if (back.icc != meta.icc) std::abort();
        if (format == OutputFormat::Png && (back.xmp != meta.xmp || back.iptc != meta.iptc)) std::abort();
        if (!meta.exif.empty() && back.exif.empty() && (format == OutputFormat::Png || meta.exif.size() < 60000))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteVector bytes(data, data + size);
    ImageMetadata png = ReadPngMetadata(bytes);
    ImageMetadata jpeg = ReadJpegMetadata(bytes);
    for (const ImageMetadata* m : {&png, &jpeg})
        for (const auto& note : m->notes)
            if (note.empty()) std::abort();
    const int orientation = ExifOrientation(bytes);
    if (orientation < 1 || orientation > 8) std::abort();
    const ByteVector turned = ExifWithOrientation(bytes, 3);
    if (turned.size() != bytes.size() || ExifWithoutThumbnail(bytes).size() != bytes.size()) std::abort();
    png.pngColour.clear();  // copied as whole chunks, checked by their own CRC
    png.turned = jpeg.turned = size % 2 == 1;
    CheckSpliced(png);
    CheckSpliced(jpeg);
    return 0;
}
