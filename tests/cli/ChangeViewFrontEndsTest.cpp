// The change view through every front end built here: the tool's --show on
// images and streams is the view of the tool's own sharpened output (change
// = after - before), and the frei0r effect and the .auf2 module, given the
// same picture and settings, write the same bytes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/App.h"
#include "cli/ImageIO.h"
#include "cli/LumaMapping.h"
#include "cli/RgbLuma16.h"
#include "filter/ChangeView.h"
#include "filter/RgbLuma.h"
#include "host/PluginModule.h"
#include "tests/cli/CliTestUtil.h"

#if defined(AUF2_MODULE)
#include "host/Auf2Host.h"
#endif
#if defined(_WIN32)
#include <direct.h>
#endif

namespace velgarde {
namespace {

using test::Bytes;

const std::string kDir = "cli_change_view_test.tmp";
// Strong amounts and a threshold, so the view has both signs and some zeros.
const std::vector<std::int32_t> kTracks = {100, 150, 25, 37, 40};
const std::vector<std::string> kOptions = {"--amount-plus", "100", "--amount-minus", "150", "--range", "25",
                                           "--variance",    "37",  "--threshold",    "40"};

class ChangeView : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(_WIN32)
        _mkdir(kDir.c_str());
#else
        mkdir(kDir.c_str(), 0755);
#endif
    }
    static std::string Path(const std::string& name) { return kDir + "/" + name; }

    // The tool's output for `in` (a file in the scratch folder).
    static Bytes Tool(const std::string& in, const std::string& out, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--plugin", PLUGIN_FILE, "-q"};
        args.insert(args.end(), kOptions.begin(), kOptions.end());
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(Path(in));
        args.push_back(Path(out));
        AppContext context;
        std::FILE* messages = std::fopen(Path("messages.txt").c_str(), "w+b");
        context.messages = messages;
        EXPECT_EQ(RunVelgarde(args, context), ExitOk) << in << " -> " << out;
        std::fclose(messages);
        return test::ReadFile(Path(out));
    }

    static Image ToolImage(const Image& picture, std::vector<std::string> extra = {}) {
        MemorySink png;
        std::string error;
        EXPECT_TRUE(EncodePng(picture, png, &error)) << error;
        EXPECT_TRUE(test::WriteFile(Path("in.png"), png.Bytes()));
        Image out;
        EXPECT_TRUE(DecodeImage(Tool("in.png", "out.png", extra), ImageLimits{}, &out, &error)) << error;
        return out;
    }
};

// Edges, flats and noise; alpha varies.
Image Picture(int width, int height, int channels) {
    Image picture(width, height, channels);
    std::uint32_t state = 2026;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.At(x, y);
            const int base = ((x / 9 + y / 7) % 2) * 150 + 40;
            for (int c = 0; c < channels; ++c) {
                state = state * 1664525u + 1013904223u;
                p[c] = static_cast<std::uint8_t>(base + c * 20 + (x % 13 == 0 ? static_cast<int>(state >> 28) : 0));
            }
            if (channels == 4) p[3] = static_cast<std::uint8_t>(x * 5 + y);
        }
    return picture;
}

TEST_F(ChangeView, ToolImageViewIsTheChangeOfItsOwnSharpenedPicture) {
    for (int channels : {1, 4}) {
        SCOPED_TRACE("channels " + std::to_string(channels));
        const Image picture = Picture(61, 37, channels);
        const Image sharpened = ToolImage(picture);
        for (auto [name, view] : {std::pair<const char*, TChangeView>{"change", TChangeView::Change},
                                  {"overlay", TChangeView::OverPicture}}) {
            const Image shown = ToolImage(picture, {"--show", name});
            ASSERT_EQ(shown.pixels.size(), picture.pixels.size());
            std::size_t unchanged = 0, lighter = 0, darker = 0;
            for (std::size_t i = 0; i < picture.PixelCount(); ++i) {
                std::int16_t before, after;
                PixelsToLuma(&picture.pixels[i * channels], channels, 1, &before, 1);
                PixelsToLuma(&sharpened.pixels[i * channels], channels, 1, &after, 1);
                const int grey = (ChangeViewLuma(before, after, view) * 255 + 2048) >> 12;
                const std::uint8_t* p = &shown.pixels[i * channels];
                ASSERT_EQ(p[0], grey) << "pixel " << i;
                if (channels == 4) {
                    ASSERT_EQ(p[1], grey);
                    ASSERT_EQ(p[2], grey);
                    ASSERT_EQ(p[3], picture.pixels[i * 4 + 3]) << "alpha of pixel " << i;
                }
                unchanged += after == before;
                lighter += after > before;
                darker += after < before;
            }
            EXPECT_GT(unchanged, 0u);
            EXPECT_GT(lighter, 0u);
            EXPECT_GT(darker, 0u);
        }
    }
}

TEST_F(ChangeView, ToolSixteenBitViewIsGreyAtSixteenBits) {
    Image picture(23, 11, 2, 16);
    for (std::size_t i = 0; i < picture.PixelCount(); ++i) {
        picture.pixels16[2 * i] = static_cast<std::uint16_t>(i % 5 == 0 ? 60000 : 9000 + i * 11);
        picture.pixels16[2 * i + 1] = static_cast<std::uint16_t>(i * 257);
    }
    const Image sharpened = ToolImage(picture);
    const Image shown = ToolImage(picture, {"--show", "change"});
    ASSERT_EQ(shown.bitDepth, 16);
    for (std::size_t i = 0; i < picture.PixelCount(); ++i) {
        std::int16_t before, after;
        PixelsToLuma16(&picture.pixels16[2 * i], 2, 1, &before, 1);
        PixelsToLuma16(&sharpened.pixels16[2 * i], 2, 1, &after, 1);
        const int grey = (ChangeViewLuma(before, after, TChangeView::Change) * 65535 + 2048) >> 12;
        ASSERT_EQ(shown.pixels16[2 * i], grey) << "pixel " << i;
        ASSERT_EQ(shown.pixels16[2 * i + 1], picture.pixels16[2 * i + 1]) << "alpha of pixel " << i;
    }
}

TEST_F(ChangeView, ToolStreamViewIsTheLumaChangeWithNeutralChromaAndAlphaKept) {
    for (const char* header : {"YUV4MPEG2 W37 H23 F25:1 Ip C420jpeg", "YUV4MPEG2 W37 H23 F25:1 It C444alpha",
                               "YUV4MPEG2 W37 H23 F25:1 Ip C422p10 XCOLORRANGE=FULL"}) {
        SCOPED_TRACE(header);
        ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream(header, 2)));
        const auto in = test::ParseStream(test::ReadFile(Path("in.y4m")));
        const auto sharp = test::ParseStream(Tool("in.y4m", "sharp.y4m"));
        const auto shown = test::ParseStream(Tool("in.y4m", "view.y4m", {"--show", "change"}));
        ASSERT_TRUE(sharp.ok && shown.ok) << sharp.error << shown.error;
        ASSERT_EQ(shown.frames.size(), 2u);
        EXPECT_EQ(shown.header, in.header);
        const Y4mFormat& f = in.format;
        const LumaMapping mapping(f.bitDepth, f.fullRange);
        const bool wide = f.BytesPerSample() == 2;
        auto sample = [&](const Bytes& plane, std::size_t i) {
            return wide ? plane[2 * i] | (plane[2 * i + 1] << 8) : plane[i];
        };
        const std::size_t luma = static_cast<std::size_t>(f.width) * f.height;
        const std::size_t alpha = f.chroma == ChromaLayout::C444Alpha ? luma : 0;
        const std::size_t chroma = f.ChromaBytes() / f.BytesPerSample() - alpha;
        for (std::size_t frame = 0; frame < 2; ++frame) {
            const Bytes& a = in.frames[frame].data;
            const Bytes& b = sharp.frames[frame].data;
            const Bytes& v = shown.frames[frame].data;
            for (std::size_t i = 0; i < luma; ++i) {
                const int y = ChangeViewLuma(mapping.ToHost(sample(a, i)), mapping.ToHost(sample(b, i)),
                                             TChangeView::Change);
                ASSERT_EQ(sample(v, i), mapping.FromHost(static_cast<std::int16_t>(y))) << "sample " << i;
            }
            for (std::size_t i = luma; i < luma + chroma; ++i) ASSERT_EQ(sample(v, i), 1 << (f.bitDepth - 1));
            for (std::size_t i = luma + chroma; i < luma + chroma + alpha; ++i) ASSERT_EQ(sample(v, i), sample(a, i));
        }
    }
}

TEST_F(ChangeView, FrontEndsGiveTheToolsBytesForTheSamePicture) {
    const int width = 67, height = 45;
    const Image picture = Picture(width, height, 4);
    const Image tool = ToolImage(picture, {"--show", "change"});
    int compared = 0;
#if defined(FREI0R_MODULE)
    {
        PluginModule module;
        std::string error;
        ASSERT_TRUE(module.Load(FREI0R_MODULE, &error)) << error;
        auto init = reinterpret_cast<int (*)()>(module.Symbol("f0r_init", nullptr));
        auto construct = reinterpret_cast<void* (*)(unsigned, unsigned)>(module.Symbol("f0r_construct", nullptr));
        auto set = reinterpret_cast<void (*)(void*, void*, int)>(module.Symbol("f0r_set_param_value", nullptr));
        auto update = reinterpret_cast<void (*)(void*, double, const std::uint32_t*, std::uint32_t*)>(
            module.Symbol("f0r_update", nullptr));
        auto destruct = reinterpret_cast<void (*)(void*)>(module.Symbol("f0r_destruct", nullptr));
        auto deinit = reinterpret_cast<void (*)()>(module.Symbol("f0r_deinit", nullptr));
        ASSERT_TRUE(init && construct && set && update && destruct && deinit);
        init();
        void* instance = construct(width, height);
        ASSERT_NE(instance, nullptr);
        const double minimums[] = {0, 0, 1, 0, 0}, maximums[] = {300, 300, 100, 100, 1000};
        for (int t = 0; t < 5; ++t) {
            double value = (kTracks[t] - minimums[t]) / (maximums[t] - minimums[t]);
            set(instance, &value, t);
        }
        double on = 1.0;
        set(instance, &on, 5);
        std::vector<std::uint32_t> in(picture.PixelCount()), out(picture.PixelCount());
        std::memcpy(in.data(), picture.pixels.data(), picture.pixels.size());
        update(instance, 0.0, in.data(), out.data());
        destruct(instance);
        deinit();
        EXPECT_EQ(std::memcmp(out.data(), tool.pixels.data(), tool.pixels.size()), 0) << "frei0r";
        ++compared;
    }
#endif
#if defined(AUF2_MODULE)
    {
        Auf2Host host;
        std::string error;
        ASSERT_TRUE(host.Open(AUF2_MODULE, &error)) << error;
        Auf2Object object = host.NewObject(width, height);
        std::memcpy(object.pixels.data(), picture.pixels.data(), picture.pixels.size());
        object.values.assign(kTracks.begin(), kTracks.end());
        ASSERT_EQ(object.checks.size(), 1u);
        object.checks[0] = true;
        ASSERT_TRUE(host.Process(object));
        EXPECT_EQ(std::memcmp(object.pixels.data(), tool.pixels.data(), tool.pixels.size()), 0) << ".auf2";
        ++compared;
        // With no amount at all, a flat view, not the picture.
        object = host.NewObject(width, height);
        std::memcpy(object.pixels.data(), picture.pixels.data(), picture.pixels.size());
        object.values = {0, 0, 10, 50, 0};
        object.checks[0] = true;
        ASSERT_TRUE(host.Process(object));
        for (std::size_t i = 0; i < object.pixels.size(); ++i)
            ASSERT_TRUE(object.pixels[i].R == 128 && object.pixels[i].G == 128 && object.pixels[i].B == 128 &&
                        object.pixels[i].A == picture.pixels[i * 4 + 3])
                << "pixel " << i;
    }
#endif
    if (compared == 0) GTEST_SKIP() << "neither the frei0r effect nor the .auf2 module is built for this target";
}

}  // namespace
}  // namespace velgarde
