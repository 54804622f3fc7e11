// The tool's two routes to the filter give the same bytes: the engine built
// into the tool (stream frames through the format-aware passes, images
// through a frame of Y) and the plug-in module driven by the emulated host.
// Every stream format, progressive and per field, default and strong
// settings; planes of 16-bit codes with stray high bits; an image.
#include <gtest/gtest.h>

#include <random>

#include "cli/EngineProcessor.h"
#include "cli/HostProcessor.h"
#include "cli/ImageSharpen.h"
#include "cli/StreamJob.h"
#include "tests/cli/CliTestUtil.h"

namespace velgarde {
namespace {

using test::Bytes;

const std::array<std::int32_t, 5> kDefault = {25, 50, 10, 50, 0};
const std::array<std::int32_t, 5> kStrong = {300, 200, 60, 30, 8};

Bytes Sharpened(const Bytes& in, LumaProcessor& processor, Parallel& parallel) {
    MemorySource source(in.data(), in.size());
    Y4mReader reader(source);
    std::string error;
    EXPECT_TRUE(reader.ReadHeader(&error)) << error;
    MemorySink sink;
    Y4mWriter writer(sink);
    StreamSettings settings;
    settings.parallel = &parallel;
    const StreamResult r = RunStream(reader, writer, processor, settings, nullptr);
    EXPECT_EQ(r.failure, StreamResult::Failure::None) << r.error;
    return sink.Bytes();
}

HostProcessor* OpenPlugin(HostProcessor* host, const std::array<std::int32_t, 5>& tracks, int threads) {
    std::string error;
    EXPECT_TRUE(host->Open(PLUGIN_FILE, threads, tracks, &error)) << error;
    return host;
}

TEST(EngineRoute, EveryStreamFormatGivesThePluginsBytes) {
    for (const auto& tracks : {kDefault, kStrong}) {
        HostProcessor plugin;
        OpenPlugin(&plugin, tracks, 3);
        PoolParallel parallel(2);
        EngineProcessor engine(3, tracks);
        Parallel serial;
        for (const auto& header : test::AllFormatHeaders(37, 45)) {
            for (const char* params : {"", " Ib"}) {
                const Bytes in = test::MakeStream(header, 2, params);
                const Bytes want = Sharpened(in, plugin, parallel);
                EXPECT_NE(want, in) << header;
                EXPECT_EQ(Sharpened(in, engine, serial), want) << header << params;
            }
        }
    }
}

TEST(EngineRoute, SixteenBitCodesAndStrayHighBitsGiveThePluginsBytes) {
    HostProcessor plugin;
    OpenPlugin(&plugin, kStrong, 2);
    EngineProcessor engine(2, kStrong);
    Parallel serial;
    std::mt19937 random(5);
    const int width = 203, rows = 70;
    for (int depth : {10, 12, 16})
        for (bool full : {false, true}) {
            const LumaMapping mapping(depth, full);
            Bytes codes(static_cast<std::size_t>(width) * rows * 2);
            for (std::size_t i = 0; i < codes.size(); i += 2) {
                // A ramp with noise, every 50th sample with bits above the depth.
                const unsigned code = ((i / 2 % width) * 97 + i / 2 / width * 31 + random() % 200) % (1u << depth) |
                                      (random() % 50 == 0 ? 0x8000u : 0u);
                codes[i] = static_cast<std::uint8_t>(code);
                codes[i + 1] = static_cast<std::uint8_t>(code >> 8);
            }
            Bytes want = codes, got = codes;
            std::string error;
            ASSERT_TRUE(plugin.ProcessCodes(want.data(), width * 2, width, rows, mapping, serial, &error)) << error;
            ASSERT_TRUE(engine.ProcessCodes(got.data(), width * 2, width, rows, mapping, serial, &error)) << error;
            EXPECT_NE(want, codes);
            EXPECT_EQ(got, want) << depth << (full ? " full" : " limited");
        }
}

TEST(EngineRoute, AnImageGivesThePluginsBytes) {
    Image image(61, 29, 4);
    std::mt19937 random(9);
    for (auto& byte : image.pixels) byte = static_cast<std::uint8_t>(random());
    Image viaPlugin = image, viaEngine = image;
    HostProcessor plugin;
    OpenPlugin(&plugin, kStrong, 2);
    EngineProcessor engine(2, kStrong);
    std::string error;
    ASSERT_TRUE(SharpenImage(&viaPlugin, plugin, &error)) << error;
    ASSERT_TRUE(SharpenImage(&viaEngine, engine, &error)) << error;
    EXPECT_NE(viaPlugin.pixels, image.pixels);
    EXPECT_EQ(viaEngine.pixels, viaPlugin.pixels);
}

}  // namespace
}  // namespace velgarde
