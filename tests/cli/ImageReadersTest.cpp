// The image readers on files of every kind: valid files give the pixels
// stb_image gave (the decoder the tool used before), every truncation and
// damage is an error that says so, and sizes are checked before decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "cli/ImageIO.h"
#include "tests/cli/ImageFiles.h"
#include "tests/cli/Stb.h"

namespace velgarde {
namespace {

using test::Bytes;

struct Case {
    std::string name;
    Bytes file;
};

std::vector<unsigned> Samples(int w, int h, int channels, unsigned maximum, unsigned seed = 7) {
    std::vector<unsigned> s(static_cast<std::size_t>(w) * h * channels);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<unsigned>((i * 2654435761u + seed * i / 5) % (maximum + 1));
    return s;
}

Bytes Palette(int colours) {
    Bytes p;
    for (int i = 0; i < colours; ++i) p.insert(p.end(), {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i * 11), static_cast<std::uint8_t>(i * 5 + 3)});
    return p;
}

Bytes Row(int n, std::uint8_t seed) {
    Bytes r(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) r[i] = static_cast<std::uint8_t>(seed * 31 + i * 57 + (i >> 3));
    return r;
}

std::vector<Case> ValidFiles() {
    using test::MakeBmp;
    using test::MakeGif;
    using test::MakePng;
    using test::MakeTga;
    std::vector<Case> c;
    const int w = 13, h = 11;
    for (int depth : {1, 2, 4, 8, 16})
        for (bool interlaced : {false, true})
            c.push_back({"png grey " + std::to_string(depth) + (interlaced ? " interlaced" : ""),
                         MakePng(w, h, depth, 0, interlaced, Samples(w, h, 1, (1u << depth) - 1))});
    for (int depth : {8, 16}) {
        c.push_back({"png grey+alpha " + std::to_string(depth), MakePng(w, h, depth, 4, false, Samples(w, h, 2, (1u << depth) - 1))});
        c.push_back({"png rgb " + std::to_string(depth), MakePng(w, h, depth, 2, depth == 16, Samples(w, h, 3, (1u << depth) - 1))});
        c.push_back({"png rgba " + std::to_string(depth), MakePng(w, h, depth, 6, false, Samples(w, h, 4, (1u << depth) - 1))});
    }
    for (int depth : {1, 2, 4, 8}) {
        const int colours = 1 << std::min(depth, 5);
        c.push_back({"png palette " + std::to_string(depth), MakePng(w, h, depth, 3, depth == 4, Samples(w, h, 1, colours - 1), Palette(colours), {0, 128})});
    }
    c.push_back({"png grey tRNS", MakePng(w, h, 8, 0, false, Samples(w, h, 1, 9), {}, {0, 3})});
    c.push_back({"png rgb16 tRNS", MakePng(w, h, 16, 2, false, Samples(w, h, 3, 2), {}, {0, 1, 0, 2, 0, 0})});

    std::vector<Bytes> rows;
    const auto rowsOf = [&](int bytes) {
        rows.clear();
        for (int y = 0; y < h; ++y) rows.push_back(Row(bytes, static_cast<std::uint8_t>(y)));
        return rows;
    };
    Bytes bgr0;  // palette entries: B, G, R, 0
    for (int i = 0; i < 256; ++i) bgr0.insert(bgr0.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 3), static_cast<std::uint8_t>(255 - i), 0});
    for (int bpp : {1, 4, 8}) {
        Bytes pal(bgr0.begin(), bgr0.begin() + 4 * (1 << bpp));
        c.push_back({"bmp " + std::to_string(bpp), MakeBmp(w, h, bpp, rowsOf((w * bpp + 7) / 8), pal)});
    }
    c.push_back({"bmp 24", MakeBmp(w, h, 24, rowsOf(3 * w))});
    c.push_back({"bmp 24 top-down", MakeBmp(w, h, 24, rowsOf(3 * w), {}, 0, {}, true)});
    c.push_back({"bmp 16 555", MakeBmp(w, h, 16, rowsOf(2 * w))});
    c.push_back({"bmp 16 565", MakeBmp(w, h, 16, rowsOf(2 * w), {}, 3, {0xf800, 0x07e0, 0x001f})});
    c.push_back({"bmp 32 alpha", MakeBmp(w, h, 32, rowsOf(4 * w))});
    Bytes zeroAlpha = MakeBmp(w, h, 32, rowsOf(4 * w));
    for (std::size_t i = zeroAlpha.size() - 4 * w * h + 3; i < zeroAlpha.size(); i += 4) zeroAlpha[i] = 0;
    c.push_back({"bmp 32 no alpha", zeroAlpha});
    c.push_back({"bmp v4 bitfields", MakeBmp(w, h, 32, rowsOf(4 * w), {}, 3, {0xff0000u, 0xff00u, 0xffu, 0xff000000u}, false, 108)});
    c.push_back({"bmp v5", MakeBmp(w, h, 24, rowsOf(3 * w), {}, 0, {}, false, 124)});

    const Bytes rgb = Row(3 * w * h, 9), rgba = Row(4 * w * h, 4), grey = Row(w * h, 2);
    c.push_back({"tga 24", MakeTga(2, w, h, 24, rgb)});
    c.push_back({"tga 32 top-down", MakeTga(2, w, h, 32, rgba, {}, 0, 0x28)});
    c.push_back({"tga grey", MakeTga(3, w, h, 8, grey)});
    c.push_back({"tga 16", MakeTga(2, w, h, 16, Row(2 * w * h, 5))});
    Bytes indices(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(i % 200);
    c.push_back({"tga mapped", MakeTga(1, w, h, 8, indices, Palette(200), 24)});
    // Runs and literals, crossing rows.
    Bytes rle;
    for (int n = 0; n < w * h;) {
        const int run = std::min(w * h - n, 1 + n % 17);
        if (n % 2) {
            rle.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            rle.insert(rle.end(), {static_cast<std::uint8_t>(n), 40, 200});
        } else {
            rle.push_back(static_cast<std::uint8_t>(run - 1));
            for (int i = 0; i < run; ++i) rle.insert(rle.end(), {static_cast<std::uint8_t>(i * 9), static_cast<std::uint8_t>(n), 7});
        }
        n += run;
    }
    c.push_back({"tga rle", MakeTga(10, w, h, 24, rle)});

    Bytes pgm = {'P', '5', '\n', '#', ' ', 'c', '\n', '1', '3', ' ', '1', '1', '\n', '2', '5', '5', '\n'};
    pgm.insert(pgm.end(), grey.begin(), grey.end());
    c.push_back({"pgm", pgm});
    Bytes ppm = {'P', '6', ' ', '1', '3', ' ', '1', '1', ' ', '2', '5', '5', '\n'};
    ppm.insert(ppm.end(), rgb.begin(), rgb.end());
    c.push_back({"ppm", ppm});

    const Bytes pal = Palette(256);
    c.push_back({"gif", MakeGif(w, h, 0, 0, w, h, indices, pal)});
    c.push_back({"gif interlaced", MakeGif(w, h, 0, 0, w, h, indices, pal, -1, true)});
    Bytes small(5 * 4);
    for (std::size_t i = 0; i < small.size(); ++i) small[i] = static_cast<std::uint8_t>(i % 3);
    c.push_back({"gif framed transparent", MakeGif(w, h, 3, 2, 5, 4, small, pal, 1)});
    return c;
}

TEST(ImageReaders, ValidFilesGiveStbsPixels) {
    for (const Case& c : ValidFiles()) {
        SCOPED_TRACE(c.name);
        DecodedImage d;
        std::string e;
        ASSERT_TRUE(DecodeImage(c.file, ImageLimits{}, &d, &e)) << e;
        int w = 0, h = 0, n = 0;
        const int size = static_cast<int>(c.file.size());
        if (d.image.bitDepth == 16) {
            stbi_us* p = stbi_load_16_from_memory(c.file.data(), size, &w, &h, &n, 0);
            ASSERT_NE(p, nullptr) << stbi_failure_reason();
            EXPECT_EQ(std::vector<std::uint16_t>(p, p + std::size_t{1} * w * h * n), d.image.pixels16);
            stbi_image_free(p);
        } else {
            stbi_uc* p = stbi_load_from_memory(c.file.data(), size, &w, &h, &n, 0);
            ASSERT_NE(p, nullptr) << stbi_failure_reason();
            EXPECT_EQ(Bytes(p, p + std::size_t{1} * w * h * n), d.image.pixels);
            stbi_image_free(p);
        }
        EXPECT_EQ(d.image.width, w);
        EXPECT_EQ(d.image.height, h);
        EXPECT_EQ(d.image.channels, n);
    }
}

// Decoding a JPEG is not defined to the bit: libjpeg's transform and
// upsampling differ from stb's by a few codes.
TEST(ImageReaders, JpegPixelsAreCloseToStbs) {
    const int w = 64, h = 48;
    Image img(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = img.At(x, y);
            p[0] = static_cast<std::uint8_t>(x * 4), p[1] = static_cast<std::uint8_t>(y * 5), p[2] = static_cast<std::uint8_t>((x * y) & 255);
        }
    MemorySink sink;
    std::string e;
    ASSERT_TRUE(EncodeImage(img, {}, OutputFormat::Jpeg, 90, sink, &e)) << e;
    DecodedImage d;
    ASSERT_TRUE(DecodeImage(sink.Bytes(), ImageLimits{}, &d, &e)) << e;
    int sw = 0, sh = 0, sn = 0;
    stbi_uc* p = stbi_load_from_memory(sink.Bytes().data(), static_cast<int>(sink.Bytes().size()), &sw, &sh, &sn, 0);
    ASSERT_NE(p, nullptr);
    int worst = 0;
    double sum = 0;
    for (std::size_t i = 0; i < d.image.pixels.size(); ++i) {
        const int diff = std::abs(int{p[i]} - d.image.pixels[i]);
        worst = std::max(worst, diff);
        sum += diff;
    }
    stbi_image_free(p);
    RecordProperty("max_difference", worst);
    EXPECT_LE(worst, 4);
    EXPECT_LE(sum / d.image.pixels.size(), 1.0);
}

TEST(ImageReaders, EveryTruncationIsAnErrorThatSaysSo) {
    std::vector<Case> files = ValidFiles();
    Image img(40, 30, 3);
    for (std::size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<std::uint8_t>(i * 7);
    MemorySink baseline, progressive;
    std::string e;
    ASSERT_TRUE(EncodeImage(img, {}, OutputFormat::Jpeg, 90, baseline, &e));
    JpegCoding coding;
    coding.progressive = true;
    EncodeSettings settings;
    settings.quality = 80;
    settings.source = &coding;
    ASSERT_TRUE(EncodeImage(img, {}, OutputFormat::Jpeg, settings, progressive, &e));
    files.push_back({"jpeg", baseline.Bytes()});
    files.push_back({"jpeg progressive", progressive.Bytes()});
    for (const Case& c : files) {
        const std::string kind = ImageKind(c.file);
        for (int tenth = 1; tenth <= 9; ++tenth) {
            SCOPED_TRACE(c.name + " cut at " + std::to_string(tenth * 10) + "%");
            // Whole pixels without the closing chunk or marker are a picture.
            const std::size_t size = c.file.size() * tenth / 10;
            const std::size_t trailer = kind == "PNG" ? 12 : kind == "GIF" ? 2 : kind == "JPEG" ? 2 : 0;
            if (size + trailer >= c.file.size() || (kind == "TGA" && size < 18)) continue;
            const Bytes cut(c.file.begin(), c.file.begin() + size);
            Image out;
            ASSERT_FALSE(DecodeImage(cut, ImageLimits{}, &out, &e));
            EXPECT_EQ(e.rfind("truncated " + kind + ": the file ends ", 0), 0u) << e;
        }
    }
}

TEST(ImageReaders, ColoursOutsideThePaletteAndSamplesAboveTheMaximumAreDamage) {
    const int w = 4, h = 2;
    const std::vector<Bytes> rows = {{0, 1, 2, 7}, {3, 3, 3, 3}};
    Bytes pal4(16, 50);  // four entries, index 7 beyond them
    const Bytes bmp = test::MakeBmp(w, h, 8, rows, pal4);
    const Bytes tga = test::MakeTga(1, w, h, 8, {0, 1, 2, 9, 1, 1, 1, 1}, Palette(4), 24);
    const Bytes png = test::MakePng(w, h, 8, 3, false, {0, 1, 2, 9, 1, 1, 1, 1}, Palette(4));
    Bytes pgm = {'P', '5', ' ', '4', ' ', '2', ' ', '9', '\n', 0, 1, 2, 3, 4, 5, 6, 10};
    for (const auto& [file, start] : std::vector<std::pair<Bytes, std::string>>{
             {bmp, "damaged BMP: a pixel uses colour 7 of a palette of 4"},
             {tga, "damaged TGA: a pixel uses colour 9, outside its colour map"},
             {png, "damaged PNG: "},
             {pgm, "damaged PNM: sample 10 above its maximum 9"}}) {
        Image out;
        std::string e;
        EXPECT_FALSE(DecodeImage(file, ImageLimits{}, &out, &e));
        EXPECT_EQ(e.rfind(start, 0), 0u) << e;
    }
    // A maximum below 255 is scaled to the full range.
    pgm.back() = 9;
    Image out;
    std::string e;
    ASSERT_TRUE(DecodeImage(pgm, ImageLimits{}, &out, &e)) << e;
    EXPECT_EQ(out.pixels, (Bytes{0, 28, 57, 85, 113, 142, 170, 255}));
}

TEST(ImageReaders, AHugePictureInATinyFileIsRefusedBeforeItsMemoryIsTaken) {
    // 8000 x 8000 declared, one row of data.
    Bytes bmp = test::MakeBmp(4, 1, 24, {Bytes(12, 9)});
    bmp[18] = 0x40, bmp[19] = 0x1f, bmp[22] = 0x40, bmp[23] = 0x1f;
    Image out;
    std::string e;
    EXPECT_FALSE(DecodeImage(bmp, ImageLimits{}, &out, &e));
    EXPECT_EQ(e, "a BMP of 8000x8000 needs about 1.1 GB of memory, more than the 235 MB allowed for a "
                 "file of " + std::to_string(bmp.size()) + " bytes; give --max-memory 1105 (MB) to allow it");
    ImageLimits allowed;
    allowed.memoryBudget = std::uint64_t{2} << 30;
    EXPECT_FALSE(DecodeImage(bmp, allowed, &out, &e));
    EXPECT_EQ(e, "truncated BMP: the file ends after row 0 of 8000");
}

}  // namespace
}  // namespace velgarde
