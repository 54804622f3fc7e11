// Every built-in kernel set, kernel by kernel, against the scalar twins:
// random sizes, pitches and stripes, plans of every pair count the range
// track gives (their own coefficients, and random ones that drive the sums
// into saturation), full int16 and 0..4096 luma with extreme values in the
// corners, guard bytes around every buffer. A set this machine cannot run is
// skipped. Seeded: VELGARDE_SEED picks the seed, VELGARDE_CASES the count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filter/GaussianBlurWeight.h"
#include "filter/Reference.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "filter/Vectors.h"
#include "tests/support/Buffers.h"

using namespace velgarde_test;

namespace {

unsigned long EnvOr(const char* Name, unsigned long Default) {
    const char* V = std::getenv(Name);
    return V != nullptr ? std::strtoul(V, nullptr, 0) : Default;
}

struct Case {
    int Width, Height, MaxWidth;
    int Range, Variance;  // track values: the plan
    bool RandomCoefficients;
    bool FullRange;
    std::string Name;
};

Case RandomCase(std::mt19937& Rng, unsigned long i) {
    std::uniform_int_distribution<int> Width(1, 70), Height(1, 40), Pad(1, 9), Coin(0, 1), Variance(0, 100);
    Case C{};
    const bool Large = i % 100 == 99;
    C.Width = Large ? std::uniform_int_distribution<int>(300, 1930)(Rng) : Width(Rng);
    C.Height = Large ? std::uniform_int_distribution<int>(40, 90)(Rng) : Height(Rng);
    C.MaxWidth = Coin(Rng) ? C.Width : C.Width + Pad(Rng);
    C.Range = 1 + static_cast<int>(i % 100);  // every radius, so every pair count
    C.Variance = Variance(Rng);
    C.RandomCoefficients = i % 3 == 2;
    C.FullRange = Coin(Rng) != 0;
    C.Name = "w=" + std::to_string(C.Width) + " h=" + std::to_string(C.Height) + " maxw=" +
             std::to_string(C.MaxWidth) + " range=" + std::to_string(C.Range) + " variance=" +
             std::to_string(C.Variance) + (C.RandomCoefficients ? " coefficients=random" : " coefficients=plan") +
             (C.FullRange ? " Y=int16" : " Y=0..4096");
    return C;
}

// A plan for Count positions Step bytes apart; with random coefficients
// bounded so that no sum leaves 32 bits, yet many saturate when rounded.
struct Plan {
    TFilterParam Param;
    Plan(const Case& C, std::uint32_t Count, std::int32_t Step, std::mt19937& Rng) {
        const std::int32_t Tracks[TrackCount] = {0, 0, C.Range, C.Variance, 0};
        const FilterParameters P = ConvertTrackValues(Tracks);
        Param.Count = Count;
        Param.Step = Step;
        TGaussianBlurWeight(P.Radius, P.Variance).MakeFilterParam(Param);
        if (!C.RandomCoefficients) return;
        for (std::uint32_t i = 0; i < Count; ++i) {
            std::int16_t* List = const_cast<std::int16_t*>(Param.List(i));
            const int Bound = 16383 / PairCount(List);
            std::uniform_int_distribution<int> Coefficient(-Bound, Bound);
            for (int k = 0; k < 2 * PairCount(List); ++k) List[k] = static_cast<std::int16_t>(Coefficient(Rng));
        }
    }
    ~Plan() { FreeFilterParam(Param); }
};

// Random 16-bit values; the extremes of the range in the four corners of a
// Columns x Rows block of 16-bit cells Stride bytes apart in a row.
void FillValues(unsigned char* Base, int Columns, int Rows, std::ptrdiff_t Pitch, int Stride, bool FullRange,
                std::mt19937& Rng) {
    const int Lo = FullRange ? -32768 : 0, Hi = FullRange ? 32767 : 4096;
    std::uniform_int_distribution<int> Value(Lo, Hi);
    for (int y = 0; y < Rows; ++y)
        for (int x = 0; x < Columns; ++x) {
            const bool Corner = (x == 0 || x == Columns - 1) && (y == 0 || y == Rows - 1);
            const std::int16_t V = static_cast<std::int16_t>(Corner ? ((x + y) % 2 ? Lo : Hi) : Value(Rng));
            std::memcpy(Base + y * Pitch + std::ptrdiff_t{x} * Stride, &V, 2);
        }
}

// The first differing 16-bit sample of two buffers, by row and column of
// Stride-byte cells; empty when they are equal.
std::string FirstDifference(GuardedBuffer& W, GuardedBuffer& G, std::ptrdiff_t Pitch, int Stride, const char* What) {
    if (!G.GuardsIntact()) return std::string("write outside the ") + What;
    for (std::size_t i = 0; i < W.Bytes(); ++i)
        if (W.Data()[i] != G.Data()[i]) {
            const std::size_t At = i & ~std::size_t{1};
            std::int16_t A, B;
            std::memcpy(&A, W.Data() + At, 2);
            std::memcpy(&B, G.Data() + At, 2);
            return std::string(What) + " differs at row " + std::to_string(At / Pitch) + " cell " +
                   std::to_string(At % Pitch / Stride) + " byte " + std::to_string(At % Stride) + ": scalar " +
                   std::to_string(A) + ", got " + std::to_string(B);
        }
    return "";
}

class KernelSets : public testing::TestWithParam<KernelSetId> {
protected:
    void SetUp() override {
        Set = BuiltInKernelSet(GetParam());
        if (Set == nullptr) GTEST_SKIP() << "this machine cannot run the set";
        // Never the twins against themselves.
        ASSERT_NE(Set->Horizontal, ScalarKernels.Horizontal);
        ASSERT_NE(Set->Vertical, ScalarKernels.Vertical);
    }
    const KernelSet* Set = nullptr;
};

// Rows of 4-row groups into the work plane: the whole frame as one band.
std::string CheckHorizontal(const KernelSet& Set, const Case& C, std::mt19937& Rng) {
    const int Padded = (C.Width + 7) & ~7, Groups = (C.Height + 3) / 4, GatherCount = (C.Width + 3) / 4;
    const std::int32_t WorkPitch = Padded * 2, SrcPitch = C.MaxWidth * 6;
    Plan P(C, static_cast<std::uint32_t>(C.Width), 16, Rng);
    TestFrame Frame(C.Width, C.Height, C.MaxWidth);
    FillFrame(Frame, Rng, 0, 0);
    FillValues(Frame.Buffer.Data(), C.Width, C.Height, SrcPitch, 6, C.FullRange, Rng);
    const std::vector<unsigned char> Original(Frame.Buffer.Data(), Frame.Buffer.Data() + Frame.Buffer.Bytes());
    GuardedBuffer Want(std::size_t(Groups) * 4 * WorkPitch), Got(Want.Bytes());
    GuardedBuffer Scratch(std::size_t(GatherCount) * 32 + 16), ScalarScratch(Scratch.Bytes());
    Want.Fill(0x99);
    Got.Fill(0x99);
    ScalarKernels.Horizontal(Want.Data(), Frame.Buffer.Data(), P.Param.Entries.data(), ScalarScratch.Data(),
                             GatherCount, C.Width, Groups, WorkPitch, SrcPitch, C.Height);
    Frame.PoisonPadding();
    Set.Horizontal(Got.Data(), Frame.Buffer.Data(), P.Param.Entries.data(), Scratch.Data(), GatherCount, C.Width,
                   Groups, WorkPitch, SrcPitch, C.Height);
    Frame.UnpoisonPadding();
    if (!Scratch.GuardsIntact()) return "write outside the scratch block";
    if (std::memcmp(Original.data(), Frame.Buffer.Data(), Original.size()) != 0) return "the frame changed";
    // A row-pair line holds the two rows of each column side by side.
    return FirstDifference(Want, Got, WorkPitch * 2, 4, "work plane (row-pair line, column)");
}

// One stripe of 8-column groups over every row, sharpened in place.
std::string CheckVertical(const KernelSet& Set, const Case& C, std::mt19937& Rng) {
    const int Padded = (C.Width + 7) & ~7, Groups = Padded / 8;
    const std::int32_t WorkPitch = Padded * 2, SrcPitch = C.MaxWidth * 6;
    Plan P(C, static_cast<std::uint32_t>(C.Height), WorkPitch * 2, Rng);
    GuardedBuffer Work(std::size_t((C.Height + 3) / 4) * 4 * WorkPitch);
    FillValues(Work.Data(), Padded * 2, (C.Height + 3) / 4 * 2, WorkPitch * 2, 2, C.FullRange, Rng);
    // A random stripe, as one thread of the pass gets it.
    std::uniform_int_distribution<int> Start(0, Groups - 1);
    const int First = Start(Rng);
    const int Length = std::uniform_int_distribution<int>(1, Groups - First)(Rng);
    const int LastColumns = First + Length == Groups ? C.Width - 8 * (Groups - 1) : 8;
    SharpenLanes Lanes;
    std::uniform_int_distribution<int> Threshold(0, C.FullRange ? 65535 : 1000), Amount(-32767, 32768);
    FillThresholdLanes(Lanes, Threshold(Rng));
    FillAmountLanes(Lanes, -Amount(Rng), -Amount(Rng));

    TestFrame Want(C.Width, C.Height, C.MaxWidth), Got(C.Width, C.Height, C.MaxWidth);
    FillFrame(Want, Rng, 0, 0);
    FillValues(Want.Buffer.Data(), C.Width, C.Height, SrcPitch, 6, C.FullRange, Rng);
    std::memcpy(Got.Buffer.Data(), Want.Buffer.Data(), Want.Buffer.Bytes());
    const std::vector<unsigned char> WorkBefore(Work.Data(), Work.Data() + Work.Bytes());
    ScalarKernels.Vertical(Want.Buffer.Data() + 48 * First, Work.Data() + 32 * First, P.Param.Entries.data(), Length,
                           C.Height, SrcPitch, WorkPitch, LastColumns, &Lanes);
    Got.PoisonPadding();
    Set.Vertical(Got.Buffer.Data() + 48 * First, Work.Data() + 32 * First, P.Param.Entries.data(), Length, C.Height,
                 SrcPitch, WorkPitch, LastColumns, &Lanes);
    Got.UnpoisonPadding();
    if (std::memcmp(WorkBefore.data(), Work.Data(), WorkBefore.size()) != 0) return "the work plane changed";
    const std::string Difference = FirstDifference(Want.Buffer, Got.Buffer, SrcPitch, 6, "frame (row, pixel)");
    if (Difference.empty()) return "";
    return "stripe " + std::to_string(First) + "+" + std::to_string(Length) + ", threshold " +
           std::to_string(Lanes.Threshold[0]) + ", amount lanes " + std::to_string(Lanes.Amount[0]) + "," +
           std::to_string(Lanes.Amount[1]) + ": " + Difference;
}

TEST_P(KernelSets, EachKernelMatchesItsScalarTwin) {
    const unsigned long Seed = EnvOr("VELGARDE_SEED", 20261208);
    const unsigned long Cases = EnvOr("VELGARDE_CASES", 1500);
    std::mt19937 Rng(static_cast<std::mt19937::result_type>(Seed));
    for (unsigned long i = 0; i < Cases; ++i) {
        const Case C = RandomCase(Rng, i);
        const std::string H = CheckHorizontal(*Set, C, Rng);
        ASSERT_EQ(H, "") << "set " << Set->Name << ", horizontal kernel, case " << i << " of seed " << Seed << ": "
                         << C.Name;
        const std::string V = CheckVertical(*Set, C, Rng);
        ASSERT_EQ(V, "") << "set " << Set->Name << ", vertical kernel, case " << i << " of seed " << Seed
                               << ": " << C.Name << ", " << V;
    }
}

INSTANTIATE_TEST_SUITE_P(, KernelSets, testing::Values(KernelSetId::Sse2, KernelSetId::Avx2),
                         [](const testing::TestParamInfo<KernelSetId>& Info) {
                             return std::string(Info.param == KernelSetId::Sse2 ? "sse2" : "avx2");
                         });

}  // namespace

TEST(KernelSetChoice, NewEngineRunsTheBestSetAndRefusesWhatTheMachineLacks) {
    // libgcc's own reading of CPUID and XGETBV, as a second opinion.
    EXPECT_EQ(ProcessorRunsAvx2(), __builtin_cpu_supports("avx2") != 0);
    TUnsharpMaskFilter E(1);
    EXPECT_EQ(E.Kernels().Id, ProcessorRunsAvx2() ? KernelSetId::Avx2 : KernelSetId::Sse2);
    EXPECT_TRUE(E.UseKernels(KernelSetId::Sse2));
    EXPECT_EQ(E.Kernels().Id, KernelSetId::Sse2);
    EXPECT_FALSE(E.UseKernels(KernelSetId::Scalar));  // not built in: the twins come by reference
    EXPECT_EQ(E.UseKernels(KernelSetId::Avx2), ProcessorRunsAvx2());
    EXPECT_EQ(E.Kernels().Id, ProcessorRunsAvx2() ? KernelSetId::Avx2 : KernelSetId::Sse2);
    E.UseKernels(ScalarKernels);
    EXPECT_EQ(&E.Kernels(), &ScalarKernels);
}
