// Images: stb decoding and encoding, luma out of RGB and the change back in.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/cli/FakeProcessors.h"
#include "cli/ImageIO.h"
#include "filter/RgbLuma.h"
#include "cli/ImageSharpen.h"

#include "tests/cli/Stb.h"

namespace velgarde {
namespace {

using Bytes = std::vector<std::uint8_t>;

Image Pattern(int w, int h, int channels) {
    Image img(w, h, channels);
    for (std::size_t i = 0; i < img.pixels.size(); ++i)
        img.pixels[i] = static_cast<std::uint8_t>((i * 37 + i / 7) & 0xff);
    return img;
}

Bytes Png(const Image& img) {
    MemorySink sink;
    std::string e;
    EXPECT_TRUE(EncodePng(img, sink, &e)) << e;
    return sink.Bytes();
}

void ToVector(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

// Recomputes the CRC of the chunk at `at` after an edit.
void SetPngChunkCrc(Bytes* png, std::size_t at) {
    const std::uint32_t length = (*png)[at] << 24 | (*png)[at + 1] << 16 | (*png)[at + 2] << 8 | (*png)[at + 3];
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = at + 4; i < at + 8 + length; ++i) {
        crc ^= (*png)[i];
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) (*png)[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

bool Decode(const Bytes& bytes, Image* img, std::string* e, ImageLimits limits = {}) {
    return DecodeImage(bytes, limits, img, e);
}

// Adds a constant to every luma value, or fails.
using test::ShiftProcessor;

TEST(ImageIO, PngRoundTripKeepsEveryChannelCount) {
    for (int c = 1; c <= 4; ++c) {
        const Image img = Pattern(13, 7, c);
        Image back;
        std::string e;
        ASSERT_TRUE(Decode(Png(img), &back, &e)) << e;
        EXPECT_EQ(back.channels, c);
        EXPECT_EQ(back.width, 13);
        EXPECT_EQ(back.height, 7);
        EXPECT_EQ(back.pixels, img.pixels);
    }
}

TEST(ImageIO, ReadsBmpAndJpeg) {
    const Image img = Pattern(16, 8, 3);
    Bytes bmp, jpg;
    ASSERT_TRUE(stbi_write_bmp_to_func(ToVector, &bmp, img.width, img.height, 3, img.pixels.data()));
    ASSERT_TRUE(stbi_write_jpg_to_func(ToVector, &jpg, img.width, img.height, 3, img.pixels.data(), 90));
    Image back;
    std::string e;
    ASSERT_TRUE(Decode(bmp, &back, &e)) << e;
    EXPECT_EQ(back.pixels, img.pixels);  // BMP is lossless
    ASSERT_TRUE(Decode(jpg, &back, &e)) << e;
    EXPECT_EQ(back.width, 16);
    EXPECT_EQ(back.channels, 3);
}

TEST(ImageIO, CorruptTruncatedAndForeignDataAreErrors) {
    const Bytes png = Png(Pattern(32, 32, 3));
    Image img;
    std::string e;
    EXPECT_FALSE(Decode(Bytes(png.begin(), png.begin() + png.size() / 2), &img, &e));
    EXPECT_EQ(e.rfind("truncated PNG: ", 0), 0u) << e;
    Bytes damaged = png;
    for (std::size_t i = 60; i < damaged.size() - 20; ++i) damaged[i] ^= 0x5a;
    EXPECT_FALSE(Decode(damaged, &img, &e));
    EXPECT_EQ(e.rfind("damaged PNG: ", 0), 0u) << e;
    EXPECT_FALSE(Decode(Bytes(png.begin(), png.begin() + 8), &img, &e));  // signature only
    EXPECT_FALSE(Decode(Bytes{'h', 'e', 'l', 'l', 'o'}, &img, &e));
    EXPECT_EQ(e, "not a YUV4MPEG2 stream or an image velgarde reads (PNG, JPEG, BMP, GIF, PNM, TGA)");
    EXPECT_FALSE(Decode(Bytes{0xff, 0xd8, 0xff, 0xe0, 0, 0}, &img, &e));
    EXPECT_EQ(e, "truncated JPEG: the file ends inside its header");
}

TEST(ImageIO, AbsurdSizesAreRejectedBeforeDecoding) {
    Bytes png = Png(Pattern(4, 4, 1));
    // Width in the IHDR chunk (bytes 16..19) raised to 100000, its checksum
    // made right: the size is refused before any pixel is decoded.
    png[17] = 0x01;
    png[18] = 0x86;
    png[19] = 0xa0;
    SetPngChunkCrc(&png, 8);
    Image img;
    std::string e;
    EXPECT_FALSE(Decode(png, &img, &e));
    EXPECT_NE(e.find("unsupported image size 100000x4"), std::string::npos) << e;
    ImageLimits small;
    small.maxPixels = 15;
    EXPECT_FALSE(Decode(Png(Pattern(4, 4, 1)), &img, &e, small));
    EXPECT_NE(e.find("unsupported image size 4x4"), std::string::npos) << e;
}

TEST(ImageSharpen, LumaOfGreyAndColourInHostUnits) {
    Image grey(3, 1, 1);
    grey.pixels = {0, 128, 255};
    EXPECT_EQ(ImageLuma(grey), (std::vector<std::int16_t>{0, 2056, 4096}));
    Image rgb(3, 1, 3);
    rgb.pixels = {255, 255, 255, 255, 0, 0, 0, 0, 255};
    // 0.299 * 4096 = 1224.7, 0.114 * 4096 = 466.9
    EXPECT_EQ(ImageLuma(rgb), (std::vector<std::int16_t>{4096, 1225, 467}));
    EXPECT_EQ(LumaChangeToCode(0), 0);
    EXPECT_EQ(LumaChangeToCode(8), 0);      // half a code or less is no change
    EXPECT_EQ(LumaChangeToCode(9), 1);
    EXPECT_EQ(LumaChangeToCode(-9), -1);
    EXPECT_EQ(LumaChangeToCode(4096), 255);
    EXPECT_EQ(LumaChangeToCode(-4096), -255);
}

TEST(ImageSharpen, UnchangedLumaLeavesEveryPixelAsItWas) {
    for (int c = 1; c <= 4; ++c) {
        Image img = Pattern(9, 5, c);
        const Image original = img;
        ShiftProcessor none;
        std::string e;
        ASSERT_TRUE(SharpenImage(&img, none, &e));
        EXPECT_EQ(img.pixels, original.pixels) << c;
    }
}

TEST(ImageSharpen, ChangeGoesToColourChannelsClampedAndAlphaIsKept) {
    Image img(2, 1, 4);
    img.pixels = {100, 150, 250, 77, 0, 10, 20, 200};
    ShiftProcessor up;
    up.shift = 16 * 4096 / 255;  // about 16 codes
    std::string e;
    ASSERT_TRUE(SharpenImage(&img, up, &e));
    EXPECT_EQ(img.pixels, (std::vector<std::uint8_t>{116, 166, 255, 77, 16, 26, 36, 200}));
    Image ga(1, 1, 2);
    ga.pixels = {5, 9};
    ShiftProcessor down;
    down.shift = -1000;
    ASSERT_TRUE(SharpenImage(&ga, down, &e));
    EXPECT_EQ(ga.pixels, (std::vector<std::uint8_t>{0, 9}));
    ShiftProcessor failing;
    failing.failAt = 1;
    EXPECT_FALSE(SharpenImage(&ga, failing, &e));
    EXPECT_EQ(e, "filter refused");
}

}  // namespace
}  // namespace velgarde
