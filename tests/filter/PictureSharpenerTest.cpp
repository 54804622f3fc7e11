// Pictures in the hosts' own formats against the model (tests/support/
// FormatModel.h): random pictures of every layout (RGBA, BGRA, planes of 8
// to 16 bits, both ranges), sizes, pitches and settings through the band by
// band sharpener with each kernel set, on pools of 1 to 3 threads, in place
// or into another picture; and the scalar twins of the format kernels run
// directly over a whole work plane between guard zones, which ties them
// (and so, through the kernel checker, every set) to today's conversions.
// Row padding is poisoned under AddressSanitizer and must come out
// untouched. VELGARDE_SEED and VELGARDE_FRAMES as for the kernel checker.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filter/FormatRows.h"
#include "filter/KernelSets.h"
#include "filter/PictureSharpener.h"
#include "filter/Reference.h"
#include "tests/support/Buffers.h"
#include "tests/support/FormatModel.h"
#include "tests/support/KernelSetParams.h"
#include "tests/support/Model.h"
#include "util/xmmutil.h"

using namespace velgarde_test;

namespace {

unsigned long EnvOr(const char* Name, unsigned long Default) {
    const char* V = std::getenv(Name);
    return V != nullptr ? std::strtoul(V, nullptr, 0) : Default;
}

struct Case {
    int Width, Height, Pad, Threads;
    int Depth;  // 0: RGBA or BGRA
    bool Bgra, FullRange, InPlace, Direct;
    Tracks Settings;
};

std::string Describe(const Case& C) {
    const std::string Format = C.Depth == 0 ? (C.Bgra ? "bgra" : "rgba")
                                            : "y" + std::to_string(C.Depth) + (C.FullRange ? " full" : " limited");
    return Format + " " + std::to_string(C.Width) + "x" + std::to_string(C.Height) + " pad " + std::to_string(C.Pad) +
           (C.Direct ? " direct" : " threads " + std::to_string(C.Threads)) + (C.InPlace ? " in place" : "") +
           " " + velgarde_test::Describe(C.Settings);
}

Case RandomCase(std::mt19937& Rng) {
    std::uniform_int_distribution<int> Coin(0, 1), Depths(0, 5), Pad(0, 13), Threads(1, 3);
    const bool Large = std::uniform_int_distribution<int>(0, 9)(Rng) == 0;
    Case C{};
    C.Width = Large ? std::uniform_int_distribution<int>(300, 700)(Rng) : std::uniform_int_distribution<int>(1, 80)(Rng);
    C.Height = Large ? std::uniform_int_distribution<int>(60, 140)(Rng) : std::uniform_int_distribution<int>(1, 45)(Rng);
    C.Pad = Coin(Rng) ? 0 : Pad(Rng);
    C.Threads = Threads(Rng);
    const int Depth[] = {0, 0, 8, 10, 12, 16};
    C.Depth = Depth[Depths(Rng)];
    C.Bgra = Coin(Rng);
    C.FullRange = Coin(Rng);
    C.InPlace = Coin(Rng);
    C.Direct = Coin(Rng);
    C.Settings = RandomTracks(Rng);
    if (Coin(Rng) && Coin(Rng)) C.Settings.Value[TrackAmountPlus] = 300;
    if (Coin(Rng) && Coin(Rng)) C.Settings.Value[TrackAmountMinus] = 300;
    return C;
}

// Every byte random; planes of 10 and 12 bits mostly in range, with a few
// stray high bits.
void FillPicture(std::uint8_t* Bytes, std::size_t Count, const Case& C, std::mt19937& Rng) {
    for (std::size_t i = 0; i < Count; ++i) Bytes[i] = static_cast<std::uint8_t>(Rng());
    if (C.Depth == 10 || C.Depth == 12)
        for (std::size_t i = 0; i + 1 < Count; i += 2)
            if (Rng() % 50 != 0) Bytes[i + 1] &= static_cast<std::uint8_t>((1 << (C.Depth - 8)) - 1);
}

// Both format passes of a set straight over a whole work plane.
void RunDirect(const KernelSet& Pair, TUnsharpMaskFilter& Engine, const PixelFormat& F, const std::uint8_t* In,
               std::uint8_t* Out, const Case& C, std::ptrdiff_t Pitch, GuardedBuffer& Plane, GuardedBuffer& Luma) {
    auto* Rows = reinterpret_cast<std::int16_t*>(Luma.Data());
    Pair.FormatHorizontal(Plane.Data(), In, Pitch, &F, Engine.HParam.Entries.data(), Rows, C.Width, (C.Height + 3) / 4,
                          Engine.WorkPitch, C.Height);
    Pair.FormatVertical(In, Out, Pitch, &F, Plane.Data(), 0, Engine.VParam.Entries.data(), Rows, C.Width, C.Height,
                        Engine.WorkPitch, &Engine.Lanes);
}

std::string CheckPicture(const KernelSet& Pair, TPictureSharpener& Sharpener, TThreadPool* const Pools[3],
                         const Case& C, std::mt19937& Rng) {
    const int Size = C.Depth == 0 ? 4 : C.Depth == 8 ? 1 : 2;
    const std::ptrdiff_t Pitch = std::ptrdiff_t{C.Width} * Size + C.Pad;
    const std::size_t Bytes = static_cast<std::size_t>(Pitch) * static_cast<std::size_t>(C.Height);
    std::unique_ptr<TPlanarLuma> Mapping;
    PixelFormat F = C.Bgra ? BgraFormat() : RgbaFormat();
    if (C.Depth != 0) {
        Mapping = std::make_unique<TPlanarLuma>(C.Depth, C.FullRange);
        F = PlanarFormat(*Mapping);
    }
    GuardedBuffer In(Bytes), Out(Bytes);
    FillPicture(In.Data(), Bytes, C, Rng);
    Out.Fill(0x3C);
    const std::vector<std::uint8_t> Original(In.Data(), In.Data() + Bytes);
    std::vector<std::uint8_t> Want(Original);
    FormatModel(F, C.Settings.Value, Want.data(), C.Width, C.Height, Pitch);
    if (C.InPlace) std::memcpy(Out.Data(), In.Data(), Bytes);
    const std::vector<std::uint8_t> OutBefore(Out.Data(), Out.Data() + Bytes);

    const FilterParameters P = ConvertTrackValues(C.Settings.Value);
    std::uint8_t* Source = C.InPlace ? Out.Data() : In.Data();
    auto PoisonPadding = [&](bool Poison) {
        for (int y = 0; y < C.Height && C.Pad > 0; ++y)
            for (GuardedBuffer* B : {&In, &Out}) {
                unsigned char* At = B->Data() + y * Pitch + C.Width * Size;
                if (Poison)
                    VELGARDE_POISON(At, static_cast<std::size_t>(C.Pad));
                else
                    VELGARDE_UNPOISON(At, static_cast<std::size_t>(C.Pad));
            }
    };
    if (C.Direct) {
        TUnsharpMaskFilter& Engine = Sharpener.Engine();
        ApplyFilterParameters(Engine, P);
        if (!Engine.Setup(C.Width, C.Height, C.Width)) return "Setup refused a sound picture";
        GuardedBuffer Plane(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(C.Width, C.Height)));
        GuardedBuffer Scratch(FormatLumaBytes(C.Width, (C.Height + 3) / 4 * 4));
        Plane.Fill(0x5A);
        PoisonPadding(true);
        RunDirect(Pair, Engine, F, Source, Out.Data(), C, Pitch, Plane, Scratch);
        PoisonPadding(false);
        if (!Plane.GuardsIntact()) return "write outside the work plane";
        if (!Scratch.GuardsIntact()) return "write outside the luma rows";
    } else {
        if (!Sharpener.SetParameters(P)) return "the settings were refused";
        PoisonPadding(true);
        const bool Done = Sharpener.Process(*Pools[C.Threads - 1], F, Source, Out.Data(), C.Width, C.Height, Pitch);
        PoisonPadding(false);
        if (!Done) return "the sharpener refused a sound picture";
    }
    if (!In.GuardsIntact() || !Out.GuardsIntact()) return "write outside the picture";
    if (!C.InPlace && std::memcmp(In.Data(), Original.data(), Bytes) != 0) return "the input picture changed";
    for (int y = 0; y < C.Height; ++y)
        for (std::ptrdiff_t x = 0; x < Pitch; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * Pitch + x);
            const bool Padding = x >= std::ptrdiff_t{C.Width} * Size;
            const std::uint8_t Expected = Padding ? OutBefore[i] : Want[i];
            if (Out.Data()[i] != Expected)
                return "row " + std::to_string(y) + " byte " + std::to_string(x) + (Padding ? " (padding)" : "") +
                       ": got " + std::to_string(Out.Data()[i]) + ", model " + std::to_string(Expected);
        }
    return "";
}

class PictureSharpener : public testing::TestWithParam<const KernelSet*> {
protected:
    void SetUp() override {
        if (!Runs(*GetParam())) GTEST_SKIP() << "this machine cannot run the set";
    }
};

}  // namespace

TEST_P(PictureSharpener, RandomPicturesMatchTheModel) {
    const KernelSet& Set = *GetParam();
    const unsigned long Seed = EnvOr("VELGARDE_SEED", 20261209);
    const unsigned long Pictures = EnvOr("VELGARDE_FRAMES", 600);
    std::mt19937 Rng(static_cast<std::mt19937::result_type>(Seed));
    TThreadPool One(1), Two(2), Three(3);
    TThreadPool* const Pools[3] = {&One, &Two, &Three};
    TPictureSharpener Sharpener(8);
    Sharpener.Engine().UseKernels(Set);
    for (unsigned long i = 0; i < Pictures; ++i) {
        Case C = RandomCase(Rng);
        C.Direct = C.Direct && &Set == &ScalarKernels;
        const std::string Problem = CheckPicture(Set, Sharpener, Pools, C, Rng);
        ASSERT_EQ(Problem, "") << "picture " << i << " of seed " << Seed << ": " << Describe(C);
    }
}

INSTANTIATE_TEST_SUITE_P(, PictureSharpener, testing::ValuesIn(EveryKernelSet()), KernelSetName());

// Into another picture whose rows are 64-byte aligned, as video hosts hand
// them over: the kernels may then write around the cache.
TEST_P(PictureSharpener, AlignedPicturesIntoOthersMatchTheModel) {
    std::mt19937 Rng(3);
    TThreadPool Pool(2);
    TPictureSharpener Sharpener(8);
    Sharpener.Engine().UseKernels(*GetParam());
    const std::int32_t Tracks[TrackCount] = {300, 200, 20, 40, 4};
    ASSERT_TRUE(Sharpener.SetParameters(ConvertTrackValues(Tracks)));
    const TPlanarLuma Codes(8, false);
    for (const PixelFormat& F : {RgbaFormat(), PlanarFormat(Codes)})
        for (int W : {16, 100, 333}) {
            const int H = 37, Size = PixelBytes(F.Layout);
            const std::ptrdiff_t Pitch = (std::ptrdiff_t{W} * Size + 63) & ~std::ptrdiff_t{63};
            const std::size_t Bytes = static_cast<std::size_t>(Pitch) * H;
            auto* In = static_cast<std::uint8_t*>(AlignedAlloc(Bytes, 64));
            auto* Out = static_cast<std::uint8_t*>(AlignedAlloc(Bytes, 64));
            for (std::size_t i = 0; i < Bytes; ++i) In[i] = static_cast<std::uint8_t>(Rng());
            std::vector<std::uint8_t> Want(In, In + Bytes);
            FormatModel(F, Tracks, Want.data(), W, H, Pitch);
            std::memcpy(Out, In, Bytes);  // the padding as the model leaves it
            EXPECT_TRUE(Sharpener.Process(Pool, F, In, Out, W, H, Pitch));
            EXPECT_EQ(std::vector<std::uint8_t>(Out, Out + Bytes), Want) << "width " << W << " size " << Size;
            AlignedFree(In);
            AlignedFree(Out);
        }
}
