// The plug-in module loaded and driven as a host drives it, checked against
// the scalar model.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Plugin.h"

namespace {

using velgarde::EmulatedHost;
using namespace velgarde_test;

const std::string modulePath = TarnwickModule();

void Open(EmulatedHost& host, int threads) { ASSERT_EQ(velgarde_test::Open(host, modulePath, threads), ""); }

// Hands the tracks over and runs one frame through the raw callbacks.
void Sharpen(EmulatedHost& host, const Tracks& tracks, GuardedFrame& frame) {
    SetTracks(host, tracks);
    ASSERT_EQ(host.CallUpdate(), Success);
    ProcInfo info = frame.Info();
    ASSERT_EQ(host.CallProc(&info), Success);
    EXPECT_TRUE(frame.TempGuardIntact());
}

#define EXPECT_FRAME(frame, want, what) EXPECT_EQ(FrameDifference(frame, want), "") << (what)

TEST(PluginEndToEnd, RandomFramesEqualTheScalarModel) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(20240611);
    // The edges of the 4-row and 8-column groups first, then random sizes.
    struct Size {
        int w, h, pad;
    };
    std::vector<Size> sizes = {{1, 1, 0},  {1, 9, 3},  {9, 1, 0},   {2, 3, 1},  {3, 2, 0},
                               {7, 7, 1},  {8, 8, 0},  {9, 5, 7},   {16, 4, 0}, {17, 13, 2},
                               {31, 6, 0}, {33, 34, 5}, {64, 48, 0}, {5, 100, 0}};
    std::uniform_int_distribution<int> side(1, 120);
    std::uniform_int_distribution<int> pad(0, 20);
    for (int i = 0; i < 30; ++i) sizes.push_back({side(random), side(random), random() % 3 ? pad(random) : 0});
    for (const Size& s : sizes) {
        GuardedFrame frame(s.w, s.h, s.w + s.pad);
        frame.Fill(random);
        const Tracks tracks = RandomTracks(random);
        const std::vector<unsigned char> want = Expected(frame, tracks);
        Sharpen(host, tracks, frame);
        EXPECT_FRAME(frame, want, Describe(frame, tracks));
    }
}

TEST(PluginEndToEnd, EachSettingChangedBetweenFramesTakesEffect) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(7);
    GuardedFrame original(45, 30, 50);
    original.Fill(random);
    Tracks tracks = DefaultTracks();
    tracks.Value[TrackThreshold] = 3;
    // One track at a time, each to a value that changes the result; blur
    // range and variance rebuild the plans of an unchanged frame size.
    const struct {
        int track;
        std::int32_t value;
    } steps[] = {{TrackAmountPlus, 200}, {TrackAmountMinus, 5}, {TrackRange, 37},   {TrackVariance, 0},
                 {TrackVariance, 96},    {TrackRange, 1},       {TrackThreshold, 400}, {TrackThreshold, 0}};
    GuardedFrame first = original;
    std::vector<unsigned char> previous = Expected(first, tracks);
    Sharpen(host, tracks, first);
    EXPECT_FRAME(first, previous, Describe(first, tracks));
    for (const auto& step : steps) {
        tracks.Value[step.track] = step.value;
        GuardedFrame frame = original;
        const std::vector<unsigned char> want = Expected(frame, tracks);
        ASSERT_NE(want, previous) << "step does not change the result: " << Describe(frame, tracks);
        Sharpen(host, tracks, frame);
        EXPECT_FRAME(frame, want, Describe(frame, tracks));
        previous = want;
    }
}

TEST(PluginEndToEnd, FrameSizeChangesTakeEffect) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(11);
    const Tracks tracks = DefaultTracks();
    const int sizes[][3] = {{64, 48, 64}, {17, 5, 17}, {64, 48, 64}, {64, 48, 80}, {64, 49, 80},
                            {65, 49, 80}, {1, 1, 1},   {200, 3, 210}, {3, 200, 3}};
    for (const auto& s : sizes) {
        GuardedFrame frame(s[0], s[1], s[2]);
        frame.Fill(random);
        const std::vector<unsigned char> want = Expected(frame, tracks);
        Sharpen(host, tracks, frame);
        EXPECT_FRAME(frame, want, Describe(frame, tracks));
    }
}

TEST(PluginEndToEnd, AFrameBeforeAnyUpdateComesBackUnchanged) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(3);
    for (const auto& s : {std::array<int, 3>{40, 30, 44}, std::array<int, 3>{1, 1, 1},
                          std::array<int, 3>{9, 17, 9}}) {
        GuardedFrame frame(s[0], s[1], s[2]);
        frame.Fill(random);
        const std::vector<unsigned char> before = frame.Bytes;
        ProcInfo info = frame.Info();
        EXPECT_EQ(host.CallProc(&info), Success);
        EXPECT_FRAME(frame, before, "no update yet");
        EXPECT_TRUE(frame.TempGuardIntact());
    }
}

TEST(PluginEndToEnd, ASecondExitDoesNothingAndNoEngineMeansNoWork) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(5);
    GuardedFrame frame(20, 12, 24);
    frame.Fill(random);
    const std::vector<unsigned char> before = frame.Bytes;
    EXPECT_EQ(host.CallExit(), Success);
    EXPECT_EQ(host.CallExit(), Success);
    // Without an engine, update and frame report failure and touch nothing.
    host.SetTrack(TrackAmountPlus, 300);
    EXPECT_EQ(host.CallUpdate(), 0);
    ProcInfo info = frame.Info();
    EXPECT_EQ(host.CallProc(&info), 0);
    EXPECT_FRAME(frame, before, "no engine");
    std::string error;
    EXPECT_FALSE(host.Process(&error));
    host.Close();

    // The module comes back to life in a fresh host.
    Open(host, 0);
    const Tracks tracks = DefaultTracks();
    const std::vector<unsigned char> want = Expected(frame, tracks);
    Sharpen(host, tracks, frame);
    EXPECT_FRAME(frame, want, "after reopening");
}

TEST(PluginEndToEnd, OneOrThirteenWorkersGiveTheSameBytesAsTheDefault) {
    std::mt19937 random(13);
    // Tall frames give every horizontal share work, wide ones every vertical
    // stripe; odd sizes leave partial groups at the end.
    const int sizes[][3] = {{40, 203, 40}, {203, 9, 210}, {96, 96, 100}, {13, 37, 15}, {5, 5, 5}};
    std::vector<GuardedFrame> inputs;
    std::vector<Tracks> settings;
    for (const auto& s : sizes) {
        inputs.emplace_back(s[0], s[1], s[2]);
        inputs.back().Fill(random);
        settings.push_back(RandomTracks(random));
    }
    std::vector<std::vector<unsigned char>> byDefault;
    for (int threads : {0, 1, 13}) {
        SCOPED_TRACE(threads);
        EmulatedHost host;
        Open(host, threads);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            GuardedFrame frame = inputs[i];
            Sharpen(host, settings[i], frame);
            if (threads == 0) {
                EXPECT_FRAME(frame, Expected(inputs[i], settings[i]), Describe(frame, settings[i]));
                byDefault.push_back(frame.Bytes);
            } else {
                EXPECT_FRAME(frame, byDefault[i], Describe(frame, settings[i]));
            }
        }
    }
}

TEST(PluginEndToEnd, NothingButTheYValuesInsideTheWidthChanges) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(17);
    Tracks strong = DefaultTracks();
    strong.Value[TrackAmountPlus] = 300;
    strong.Value[TrackAmountMinus] = 300;
    for (const auto& s : {std::array<int, 3>{30, 21, 37}, std::array<int, 3>{8, 4, 16},
                          std::array<int, 3>{1, 6, 9}}) {
        GuardedFrame frame(s[0], s[1], s[2]);
        frame.Fill(random);
        const GuardedFrame before = frame;
        Sharpen(host, strong, frame);
        int changedY = 0;
        for (std::size_t i = 0; i < frame.Bytes.size(); ++i) {
            bool isY = false;
            if (i >= GuardBytes && i < frame.Bytes.size() - GuardBytes) {
                std::size_t at = i - GuardBytes;
                std::size_t x = at / 6 % static_cast<std::size_t>(frame.MaxWidth);
                isY = at % 6 < 2 && x < static_cast<std::size_t>(frame.Width);
            }
            if (isY) {
                changedY += frame.Bytes[i] != before.Bytes[i];
                continue;
            }
            ASSERT_EQ(frame.Bytes[i], before.Bytes[i]) << Describe(frame, strong) << ": "
                                                      << FirstDifference(frame.Bytes, before.Bytes);
        }
        EXPECT_GT(changedY, 0) << "the settings did not sharpen at all";
    }
}

// The four callback fields, read at their offsets in the record the module
// returns, each do what their slot promises.
TEST(PluginEndToEnd, TheCallbackFieldsHoldTheirCallbacks) {
    EmulatedHost host;
    Open(host, 0);
    FilterTable* table = host.MutableTable();
    ASSERT_NE(table, nullptr);
#if defined(__i386__)
    const std::size_t offsets[4] = {48, 52, 56, 60};
#else
    const std::size_t offsets[4] = {offsetof(FilterTable, ProcFunc), offsetof(FilterTable, InitFunc),
                                    offsetof(FilterTable, ExitFunc), offsetof(FilterTable, UpdateFunc)};
#endif
    void* raw[4];
    for (int i = 0; i < 4; ++i) {
        std::memcpy(&raw[i], reinterpret_cast<const unsigned char*>(table) + offsets[i], sizeof raw[i]);
        ASSERT_NE(raw[i], nullptr) << "offset " << offsets[i];
    }
    auto proc = reinterpret_cast<FilterProcCallback>(raw[0]);
    auto init = reinterpret_cast<FilterCallback>(raw[1]);
    auto exit = reinterpret_cast<FilterCallback>(raw[2]);
    auto update = reinterpret_cast<FilterCallback>(raw[3]);

    std::mt19937 random(19);
    GuardedFrame frame(24, 10, 24);
    frame.Fill(random);
    const Tracks tracks = DefaultTracks();
    const std::vector<unsigned char> want = Expected(frame, tracks);

    // Exit: afterwards nothing works.
    EXPECT_EQ(exit(table), Success);
    EXPECT_EQ(update(table), 0);
    // Init: brings the engine back.
    EXPECT_EQ(init(table), Success);
    // Update: hands over the host's tracks (the defaults); Proc sharpens.
    EXPECT_EQ(update(table), Success);
    ProcInfo info = frame.Info();
    EXPECT_EQ(proc(table, &info), Success);
    EXPECT_FRAME(frame, want, "through the raw fields");
}

TEST(PluginEndToEnd, UnsafeFrameRecordsAreRefusedUntouched) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(23);
    const Tracks tracks = DefaultTracks();
    SetTracks(host, tracks);
    ASSERT_EQ(host.CallUpdate(), Success);
    GuardedFrame frame(16, 12, 20);
    frame.Fill(random);
    const GuardedFrame before = frame;

    struct Case {
        const char* what;
        void (*spoil)(ProcInfo&);
        std::int32_t result;
    };
    const Case cases[] = {
        {"negative width", [](ProcInfo& i) { i.Width = -16; }, 0},
        {"negative height", [](ProcInfo& i) { i.Height = -1; }, 0},
        {"most negative width", [](ProcInfo& i) { i.Width = INT32_MIN; }, 0},
        {"max width below width", [](ProcInfo& i) { i.MaxWidth = 15; }, 0},
        {"negative max width", [](ProcInfo& i) { i.MaxWidth = -20; }, 0},
        {"null edit frame", [](ProcInfo& i) { i.EditFrame = nullptr; }, 0},
        {"null temp frame", [](ProcInfo& i) { i.TempFrame = nullptr; }, 0},
        {"zero width", [](ProcInfo& i) { i.Width = 0; }, Success},
        {"zero height", [](ProcInfo& i) { i.Height = 0; }, Success},
        {"zero width and height", [](ProcInfo& i) { i.Width = 0, i.Height = 0; }, Success},
    };
    for (const Case& c : cases) {
        ProcInfo info = frame.Info();
        c.spoil(info);
        EXPECT_EQ(host.CallProc(&info), c.result) << c.what;
        EXPECT_FRAME(frame, before.Bytes, c.what);
        EXPECT_TRUE(frame.TempGuardIntact()) << c.what;
        EXPECT_TRUE(frame.TempStorage == before.TempStorage) << c.what << ": work buffer written";
    }
    EXPECT_EQ(host.CallProc(nullptr), 0);

    // The engine is still sound: the same frame, intact, now sharpens.
    const std::vector<unsigned char> want = Expected(frame, tracks);
    ProcInfo info = frame.Info();
    EXPECT_EQ(host.CallProc(&info), Success);
    EXPECT_FRAME(frame, want, "after the refusals");
}

// The host's own buffers and Process: what the command-line tool relies on.
TEST(PluginEndToEnd, ProcessOnTheHostsBuffersEqualsTheScalarModel) {
    EmulatedHost host;
    Open(host, 0);
    std::mt19937 random(29);
    std::string error;
    for (const auto& s : {std::array<int, 3>{1, 1, 1}, std::array<int, 3>{50, 33, 56},
                          std::array<int, 3>{50, 33, 56}, std::array<int, 3>{7, 90, 7}}) {
        PixelYC* pixels = host.PrepareFrame(s[0], s[1], s[2]);
        ASSERT_NE(pixels, nullptr);
        GuardedFrame model(s[0], s[1], s[2]);
        model.Fill(random);
        std::memcpy(pixels, model.Pixels(), static_cast<std::size_t>(s[2]) * static_cast<std::size_t>(s[1]) * 6);
        const Tracks tracks = RandomTracks(random);
        SetTracks(host, tracks);
        const std::vector<unsigned char> want = Expected(model, tracks);
        ASSERT_TRUE(host.Process(&error)) << error;
        std::memcpy(model.Pixels(), pixels, static_cast<std::size_t>(s[2]) * static_cast<std::size_t>(s[1]) * 6);
        EXPECT_FRAME(model, want, Describe(model, tracks));
    }
}

}  // namespace
