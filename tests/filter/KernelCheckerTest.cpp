// Randomised bit-exactness check: the passes, split over any number of
// threads, against the scalar model of the whole frame, once per kernel set
// (a set this machine cannot run is skipped). Seeded and reproducible:
// VELGARDE_SEED picks the seed, VELGARDE_FRAMES the count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "filter/UnsharpMask.h"
#include "tests/support/Buffers.h"
#include "tests/support/Model.h"

using namespace velgarde_test;

namespace {

unsigned long EnvOr(const char* Name, unsigned long Default) {
    const char* V = std::getenv(Name);
    return V != nullptr ? std::strtoul(V, nullptr, 0) : Default;
}

struct Case {
    int Width, Height, MaxWidth, Threads;
    std::int32_t Tracks[TrackCount];
    bool FullRange;
};

std::string Describe(const Case& C) {
    std::string S = "w=" + std::to_string(C.Width) + " h=" + std::to_string(C.Height) +
                    " maxw=" + std::to_string(C.MaxWidth) + " threads=" + std::to_string(C.Threads) +
                    " tracks=";
    for (int i = 0; i < TrackCount; ++i) S += std::to_string(C.Tracks[i]) + (i + 1 < TrackCount ? "," : "");
    return S + (C.FullRange ? " Y=int16" : " Y=0..4096");
}

// Runs one frame through the engine (threads taken one after another, which
// the shares make equivalent to running them at once) and the model.
// Returns an empty string on success, else the first difference.
std::string CheckFrame(TUnsharpMaskFilter& Engine, const Case& C, std::mt19937& Rng) {
    TestFrame Frame(C.Width, C.Height, C.MaxWidth);
    FillFrame(Frame, Rng, C.FullRange ? -32768 : 0, C.FullRange ? 32767 : 4096);
    std::vector<unsigned char> Original(Frame.Buffer.Data(), Frame.Buffer.Data() + Frame.Buffer.Bytes());

    const FilterParameters P = ConvertTrackValues(C.Tracks);
    ApplyFilterParameters(Engine, P);
    if (!Engine.Setup(C.Width, C.Height, C.MaxWidth)) return "Setup refused a sound frame";

    GuardedBuffer Work(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(C.Width, C.Height)));
    Work.Fill(0x5A);
    Frame.PoisonPadding();
    for (int t = 0; t < C.Threads; ++t) Engine.HorizontalPass(Work.Data(), Frame.Buffer.Data(), t, C.Threads);
    for (int t = C.Threads - 1; t >= 0; --t) Engine.VerticalPass(Frame.Buffer.Data(), Work.Data(), t, C.Threads);
    Frame.UnpoisonPadding();

    if (!Work.GuardsIntact()) return "write outside the work plane";
    if (!Frame.Buffer.GuardsIntact()) return "write outside the frame buffer";

    TestFrame Expected(C.Width, C.Height, C.MaxWidth);
    std::memcpy(Expected.Buffer.Data(), Original.data(), Original.size());
    ReferenceFrame(ModelSettings(P), Expected.Buffer.Data(), C.Width, C.Height, C.MaxWidth);
    for (int y = 0; y < C.Height; ++y)
        for (int x = 0; x < C.Width; ++x)
            if (Frame.Y(y, x) != Expected.Y(y, x))
                return "Y differs at x=" + std::to_string(x) + " y=" + std::to_string(y) +
                       ": reference " + std::to_string(Expected.Y(y, x)) + ", got " + std::to_string(Frame.Y(y, x));
    // Everything but Y inside the frame: chroma, padding, the pixels past the width.
    for (std::size_t i = 0; i < Original.size(); ++i) {
        const std::size_t Pixel = i / 6, Row = Pixel / C.MaxWidth, Column = Pixel % C.MaxWidth;
        const bool IsY = i % 6 < 2 && Column < std::size_t(C.Width) && Row < std::size_t(C.Height);
        if (!IsY && Frame.Buffer.Data()[i] != Original[i])
            return "byte " + std::to_string(i) + " outside the Y values changed";
    }
    return "";
}

std::int32_t RandomTrack(std::mt19937& Rng, int Track) {
    std::uniform_int_distribution<int> InRange(TrackMinimums[Track], TrackMaximums[Track]);
    return InRange(Rng);
}

Case RandomCase(std::mt19937& Rng, bool Large) {
    std::uniform_int_distribution<int> Width(1, 70), Height(1, 40), Pad(1, 9), Threads(1, 13), Coin(0, 1);
    Case C{};
    C.Width = Large ? std::uniform_int_distribution<int>(300, 700)(Rng) : Width(Rng);
    C.Height = Large ? std::uniform_int_distribution<int>(60, 140)(Rng) : Height(Rng);
    C.MaxWidth = Coin(Rng) ? C.Width : C.Width + Pad(Rng);
    C.Threads = Threads(Rng);
    for (int t = 0; t < TrackCount; ++t) C.Tracks[t] = RandomTrack(Rng, t);
    // Amounts at the extremes and a zero threshold deserve more than their share.
    if (Coin(Rng)) C.Tracks[TrackThreshold] = Coin(Rng) ? 0 : C.Tracks[TrackThreshold] / 10;
    if (Coin(Rng) && Coin(Rng)) C.Tracks[TrackAmountPlus] = 300;
    if (Coin(Rng) && Coin(Rng)) C.Tracks[TrackAmountMinus] = 300;
    C.FullRange = Coin(Rng);
    return C;
}

class KernelChecker : public testing::TestWithParam<KernelSetId> {
protected:
    void SetUp() override {
        if (GetParam() != KernelSetId::Scalar && BuiltInKernelSet(GetParam()) == nullptr)
            GTEST_SKIP() << "this machine cannot run the set";
    }
    void Use(TUnsharpMaskFilter& Engine) {
        if (GetParam() == KernelSetId::Scalar)
            Engine.UseKernels(ScalarKernels);
        else
            ASSERT_TRUE(Engine.UseKernels(GetParam()));
    }
};

}  // namespace

TEST_P(KernelChecker, RandomFramesMatchTheScalarModel) {
    const unsigned long Seed = EnvOr("VELGARDE_SEED", 20261208);
    const unsigned long Frames = EnvOr("VELGARDE_FRAMES", 3000);
    std::mt19937 Rng(static_cast<std::mt19937::result_type>(Seed));
    TUnsharpMaskFilter Engine(8);  // 8 slots, up to 13 threads offered
    Use(Engine);
    for (unsigned long i = 0; i < Frames; ++i) {
        const Case C = RandomCase(Rng, i % 500 == 499);
        const std::string Failure = CheckFrame(Engine, C, Rng);
        ASSERT_EQ(Failure, "") << "frame " << i << " of seed " << Seed << ": " << Describe(C);
    }
}

TEST_P(KernelChecker, EveryRadiusAndOddSizes) {
    std::mt19937 Rng(7);
    TUnsharpMaskFilter Engine(8);
    Use(Engine);
    for (int Range = TrackMinimums[TrackRange]; Range <= TrackMaximums[TrackRange]; Range += 3) {
        for (int Size : {1, 2, 3, 7, 8, 9, 23, 33}) {
            Case C{Size + 1, Size, Size + 1, 1 + Range % 13, {300, 300, Range, Range % 101, 0}, true};
            const std::string Failure = CheckFrame(Engine, C, Rng);
            ASSERT_EQ(Failure, "") << Describe(C);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, KernelChecker,
                         testing::Values(KernelSetId::Scalar, KernelSetId::Sse2, KernelSetId::Avx2),
                         [](const testing::TestParamInfo<KernelSetId>& Info) {
                             return std::string(Info.param == KernelSetId::Scalar ? "scalar"
                                                : Info.param == KernelSetId::Sse2 ? "sse2"
                                                                                  : "avx2");
                         });
