// Metadata between PNG and JPEG: what is damaged, repeated or inflates too
// far is dropped with a note; XMP and IPTC go along; a turned picture loses
// its EXIF thumbnail; what a JPEG cannot hold is named.
#include <gtest/gtest.h>

#include <cstring>

#include "cli/ImageIO.h"
#include "cli/ImageMetadata.h"
#include "tests/cli/ImageFiles.h"

namespace velgarde {
namespace {

using test::Bytes;

Bytes Profile(std::size_t size) {
    Bytes icc(size);
    for (std::size_t i = 0; i < size; ++i) icc[i] = static_cast<std::uint8_t>(i * 7 / 3);
    for (int i = 0; i < 4; ++i) icc[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    std::memcpy(&icc[36], "acsp", 4);
    return icc;
}

const Bytes& SmallPng() {
    static const Bytes png = test::MakePng(2, 2, 8, 0, false, {1, 2, 3, 4});
    return png;
}

bool Has(const std::vector<std::string>& notes, const std::string& text) {
    for (const auto& n : notes)
        if (n.find(text) != std::string::npos) return true;
    return false;
}

TEST(ImageMetadata, DamagedRepeatedAndInflatingChunksAreDroppedWithANote) {
    ImageMetadata meta;
    meta.icc = Profile(600);
    Bytes srgb;
    test::PngChunk(&srgb, "sRGB", {0});
    meta.pngColour = {srgb, srgb};
    Bytes png = WithPngMetadata(SmallPng(), meta);
    ImageMetadata read = ReadPngMetadata(png);
    EXPECT_EQ(read.icc, meta.icc);
    EXPECT_TRUE(read.notes.empty() || Has(read.notes, "second PNG sRGB"));
    // (sRGB beside a profile is dropped when written, so repeat gAMA instead.)
    Bytes gama;
    test::PngChunk(&gama, "gAMA", {0, 0, 0xb1, 0x8f});
    meta.pngColour = {gama, gama};
    read = ReadPngMetadata(WithPngMetadata(SmallPng(), meta));
    EXPECT_EQ(read.pngColour.size(), 1u);
    EXPECT_TRUE(Has(read.notes, "a second PNG gAMA chunk: dropped"));

    // A byte of the profile's chunk changed: its checksum no longer holds.
    png[33 + 30] ^= 1;
    read = ReadPngMetadata(png);
    EXPECT_TRUE(read.icc.empty());
    EXPECT_TRUE(Has(read.notes, "PNG chunk iCCP has a bad checksum: dropped"));

    // A profile that says it is larger than it is.
    meta = {};
    meta.icc = Profile(300);
    meta.icc[2] = 9;
    EXPECT_TRUE(Has(ReadPngMetadata(WithPngMetadata(SmallPng(), meta)).notes, "the ICC profile (300 bytes) is damaged"));

    // A few kilobytes that inflate past the cap.
    meta.icc = Profile(kMaxMetadataBytes + 1000);
    const Bytes bomb = WithPngMetadata(SmallPng(), meta);
    EXPECT_LT(bomb.size(), 100000u);
    read = ReadPngMetadata(bomb);
    EXPECT_TRUE(read.icc.empty());
    EXPECT_TRUE(Has(read.notes, "the ICC profile inflates beyond 16 MiB: dropped"));
}

TEST(ImageMetadata, XmpAndIptcGoAlongBetweenPngAndJpeg) {
    ImageMetadata meta;
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";
    meta.xmp.assign(xmp.begin(), xmp.end());
    meta.iptc = {0x1c, 2, 0, 0, 2, 0, 4, 0x1c, 2, 120, 0, 5, 'h', 'e', 'l', 'l', 'o'};
    meta.icc = Profile(70000);  // two JPEG pieces
    const ImageMetadata fromPng = ReadPngMetadata(WithPngMetadata(SmallPng(), meta));
    EXPECT_EQ(fromPng.xmp, meta.xmp);
    EXPECT_EQ(fromPng.iptc, meta.iptc);
    MemorySink jpeg;
    std::string e;
    ASSERT_TRUE(EncodeImage(Image(8, 8, 3), fromPng, OutputFormat::Jpeg, 0, jpeg, &e)) << e;
    const ImageMetadata fromJpeg = ReadJpegMetadata(jpeg.Bytes());
    EXPECT_EQ(fromJpeg.xmp, meta.xmp);
    EXPECT_EQ(fromJpeg.iptc, meta.iptc);
    EXPECT_EQ(fromJpeg.icc, meta.icc);
    EXPECT_TRUE(fromJpeg.notes.empty());
    // BMP keeps the resolution alone, and says what it leaves out.
    std::vector<std::string> notes;
    MemorySink bmp;
    ASSERT_TRUE(EncodeImage(Image(8, 8, 3), fromJpeg, OutputFormat::Bmp, 0, bmp, &e, &notes)) << e;
    EXPECT_TRUE(Has(notes, "BMP cannot hold the ICC profile, XMP and IPTC: left out")) << notes.size();
}

TEST(ImageMetadata, ATurnedPictureLosesItsExifThumbnailAndAJpegNamesWhatItCannotHold) {
    // Big-endian TIFF: IFD0 with the orientation, then a link to IFD1.
    Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 26,
                  0, 0, 0, 0, 0, 0};
    ImageMetadata meta;
    meta.exif = exif;
    meta.orientation = 1;
    const Bytes kept = ReadPngMetadata(WithPngMetadata(SmallPng(), meta)).exif;
    EXPECT_EQ(Bytes(kept.begin() + 22, kept.begin() + 26), (Bytes{0, 0, 0, 26}));
    meta.turned = true;
    const Bytes dropped = ReadPngMetadata(WithPngMetadata(SmallPng(), meta)).exif;
    EXPECT_EQ(Bytes(dropped.begin() + 22, dropped.begin() + 26), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(ExifOrientation(dropped), 1);

    meta.exif.resize(70000);
    std::vector<std::string> notes;
    MemorySink jpeg;
    std::string e;
    ASSERT_TRUE(EncodeImage(Image(8, 8, 3), meta, OutputFormat::Jpeg, 0, jpeg, &e, &notes)) << e;
    EXPECT_TRUE(Has(notes, "EXIF of 70000 bytes does not fit a JPEG segment: left out"));
    EXPECT_TRUE(ReadJpegMetadata(jpeg.Bytes()).exif.empty());
}

}  // namespace
}  // namespace velgarde
