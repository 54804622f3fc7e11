// Every kernel set against the scalar model, two ways, each set in turn (a
// set this machine cannot run is skipped):
// - whole frames through an engine, split over any number of threads, against
//   the model of the whole frame: every Y and every other byte;
// - every kind of kernel on its own against its scalar twin: random sizes,
//   pitches and stripes, plans of every pair count the range track gives
//   (their own coefficients, and random ones that drive the sums into
//   saturation), full int16 and 0..4096 luma with extreme values in the
//   corners, guard bytes around every buffer.
// Seeded and reproducible: VELGARDE_SEED picks the seed, VELGARDE_FRAMES and
// VELGARDE_CASES the counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "filter/FormatRows.h"
#include "filter/GaussianBlurWeight.h"
#include "filter/KernelSets.h"
#include "filter/PixelFormats.h"
#include "filter/Reference.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "filter/Vectors.h"
#include "tests/support/Buffers.h"
#include "tests/support/KernelSetParams.h"
#include "tests/support/Model.h"

using namespace velgarde_test;

namespace {

unsigned long EnvOr(const char* Name, unsigned long Default) {
    const char* V = std::getenv(Name);
    return V != nullptr ? std::strtoul(V, nullptr, 0) : Default;
}

// ---- whole frames through an engine

struct FrameCase {
    int Width, Height, MaxWidth, Threads;
    std::int32_t Tracks[TrackCount];
    bool FullRange;
};

std::string Describe(const FrameCase& C) {
    std::string S = "w=" + std::to_string(C.Width) + " h=" + std::to_string(C.Height) +
                    " maxw=" + std::to_string(C.MaxWidth) + " threads=" + std::to_string(C.Threads) +
                    " tracks=";
    for (int i = 0; i < TrackCount; ++i) S += std::to_string(C.Tracks[i]) + (i + 1 < TrackCount ? "," : "");
    return S + (C.FullRange ? " Y=int16" : " Y=0..4096");
}

// Runs one frame through the engine (threads taken one after another, which
// the shares make equivalent to running them at once) and the model.
// Returns an empty string on success, else the first difference.
std::string CheckFrame(TUnsharpMaskFilter& Engine, const FrameCase& C, std::mt19937& Rng) {
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

FrameCase RandomFrameCase(std::mt19937& Rng, bool Large) {
    std::uniform_int_distribution<int> Width(1, 70), Height(1, 40), Pad(1, 9), Threads(1, 13), Coin(0, 1);
    FrameCase C{};
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

// ---- each kernel against its twin

struct KernelCase {
    int Width, Height, MaxWidth;
    int Range, Variance;  // track values: the plan
    bool RandomCoefficients;
    bool FullRange;
    std::string Name;
};

KernelCase RandomKernelCase(std::mt19937& Rng, unsigned long i) {
    std::uniform_int_distribution<int> Width(1, 70), Height(1, 40), Pad(1, 9), Coin(0, 1), Variance(0, 100);
    KernelCase C{};
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
    Plan(const KernelCase& C, std::uint32_t Count, std::int32_t Step, std::mt19937& Rng) {
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

// Rows of 4-row groups into the work plane: the whole frame as one band.
std::string CheckHorizontal(const KernelSet& Set, const KernelCase& C, std::mt19937& Rng) {
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
std::string CheckVertical(const KernelSet& Set, const KernelCase& C, std::mt19937& Rng) {
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

// A random pixel format for a case (the code tables built once per depth
// and range) and a picture of Width x Height such pixels, Pitch apart, every
// byte random.
struct FormatPicture {
    PixelFormat Format;
    int Size;
    std::ptrdiff_t Pitch;
    GuardedBuffer Bytes;
    FormatPicture(const KernelCase& C, std::mt19937& Rng)
        : Format(RandomFormat(Rng)), Size(PixelBytes(Format.Layout)),
          Pitch(std::ptrdiff_t{C.Width} * Size + (C.MaxWidth - C.Width)),
          Bytes(static_cast<std::size_t>(Pitch) * static_cast<std::size_t>(C.Height)) {
        for (std::size_t i = 0; i < Bytes.Bytes(); ++i) Bytes.Data()[i] = static_cast<unsigned char>(Rng());
    }
    static PixelFormat RandomFormat(std::mt19937& Rng) {
        static const TPlanarLuma Mappings[] = {{8, false}, {8, true}, {10, false}, {10, true},
                                               {12, false}, {12, true}, {16, false}, {16, true}};
        const int Pick = std::uniform_int_distribution<int>(0, 9)(Rng);
        return Pick == 8 ? RgbaFormat() : Pick == 9 ? BgraFormat() : PlanarFormat(Mappings[Pick]);
    }
    // Bytes past each row's pixels (here or in a buffer of the same
    // shape): no kernel may touch them.
    void Poison(const KernelCase& C, bool On) { Poison(C, Bytes, On); }
    void Poison(const KernelCase& C, GuardedBuffer& Buffer, bool On) const {
        for (int y = 0; y < C.Height && C.MaxWidth > C.Width; ++y) {
            unsigned char* At = Buffer.Data() + y * Pitch + std::ptrdiff_t{C.Width} * Size;
            if (On)
                VELGARDE_POISON(At, static_cast<std::size_t>(C.MaxWidth - C.Width));
            else
                VELGARDE_UNPOISON(At, static_cast<std::size_t>(C.MaxWidth - C.Width));
        }
    }
};

// A picture's 4-row groups into the work plane.
std::string CheckFormatHorizontal(const KernelSet& Set, const KernelCase& C, std::mt19937& Rng) {
    const int Padded = (C.Width + 7) & ~7, Groups = (C.Height + 3) / 4;
    const std::int32_t WorkPitch = Padded * 2;
    Plan P(C, static_cast<std::uint32_t>(C.Width), 16, Rng);
    FormatPicture Picture(C, Rng);
    const std::vector<unsigned char> Original(Picture.Bytes.Data(), Picture.Bytes.Data() + Picture.Bytes.Bytes());
    GuardedBuffer Want(std::size_t(Groups) * 4 * WorkPitch), Got(Want.Bytes());
    GuardedBuffer Luma(FormatLumaBytes(C.Width, 4 * Groups)), ScalarLuma(Luma.Bytes());
    Want.Fill(0x99);
    Got.Fill(0x99);
    ScalarKernels.FormatHorizontal(Want.Data(), Picture.Bytes.Data(), Picture.Pitch, &Picture.Format,
                                   P.Param.Entries.data(), reinterpret_cast<std::int16_t*>(ScalarLuma.Data()), C.Width,
                                   Groups, WorkPitch, C.Height);
    Picture.Poison(C, true);
    Set.FormatHorizontal(Got.Data(), Picture.Bytes.Data(), Picture.Pitch, &Picture.Format, P.Param.Entries.data(),
                         reinterpret_cast<std::int16_t*>(Luma.Data()), C.Width, Groups, WorkPitch, C.Height);
    Picture.Poison(C, false);
    if (!Luma.GuardsIntact()) return "write outside the luma rows";
    if (std::memcmp(Original.data(), Picture.Bytes.Data(), Original.size()) != 0) return "the picture changed";
    // The luma the vertical pass reads: every real pixel of every real row.
    const std::ptrdiff_t RowBytes = 2 * std::ptrdiff_t{LumaRunStride(C.Width)};
    for (int y = 0; y < C.Height; ++y)
        if (std::memcmp(Luma.Data() + y * RowBytes, ScalarLuma.Data() + y * RowBytes, 2 * std::size_t(C.Width)) != 0)
            return "luma of row " + std::to_string(y) + " differs";
    return FirstDifference(Want, Got, WorkPitch * 2, 4, "work plane (row-pair line, column)");
}

// Rows from a random one to the last, from a picture into another or in
// place, the plane given from the group that row's list starts in.
std::string CheckFormatVertical(const KernelSet& Set, const KernelCase& C, std::mt19937& Rng) {
    const int Padded = (C.Width + 7) & ~7;
    const std::int32_t WorkPitch = Padded * 2;
    Plan P(C, static_cast<std::uint32_t>(C.Height), WorkPitch * 2, Rng);
    GuardedBuffer Work(std::size_t((C.Height + 3) / 4) * 4 * WorkPitch);
    FillValues(Work.Data(), Padded * 2, (C.Height + 3) / 4 * 2, WorkPitch * 2, 2, C.FullRange, Rng);
    const int First = std::uniform_int_distribution<int>(0, C.Height - 1)(Rng);
    const std::intptr_t GroupBytes = std::intptr_t{WorkPitch} * 4;
    const std::intptr_t WorkStart = P.Param.Entries[2 * First] / GroupBytes * GroupBytes;
    SharpenLanes Lanes;
    std::uniform_int_distribution<int> Threshold(0, C.FullRange ? 65535 : 1000), Amount(-32767, 32768);
    FillThresholdLanes(Lanes, Threshold(Rng));
    FillAmountLanes(Lanes, -Amount(Rng), -Amount(Rng));

    FormatPicture In(C, Rng);
    const bool InPlace = Rng() % 2 == 0;
    // The luma the horizontal pass would pass on (any values do).
    const std::int32_t Stride = LumaRunStride(C.Width);
    GuardedBuffer Luma(FormatLumaBytes(C.Width, C.Height));
    FillValues(Luma.Data(), C.Width, C.Height, 2 * Stride, 2, C.FullRange, Rng);
    const std::int16_t* Rows = reinterpret_cast<const std::int16_t*>(Luma.Data()) + std::ptrdiff_t{First} * Stride;
    GuardedBuffer Want(In.Bytes.Bytes()), Got(In.Bytes.Bytes());
    for (GuardedBuffer* Out : {&Want, &Got})
        for (std::size_t i = 0; i < Out->Bytes(); ++i) Out->Data()[i] = InPlace ? In.Bytes.Data()[i] : 0x3C;
    const std::ptrdiff_t Skip = First * In.Pitch;
    const std::vector<unsigned char> WorkBefore(Work.Data(), Work.Data() + Work.Bytes());
    ScalarKernels.FormatVertical((InPlace ? Want.Data() : In.Bytes.Data()) + Skip, Want.Data() + Skip, In.Pitch,
                                 &In.Format, Work.Data() + WorkStart, WorkStart, P.Param.Entries.data() + 2 * First,
                                 Rows, C.Width, C.Height - First, WorkPitch, &Lanes);
    In.Poison(C, true);
    In.Poison(C, Got, true);
    Set.FormatVertical((InPlace ? Got.Data() : In.Bytes.Data()) + Skip, Got.Data() + Skip, In.Pitch, &In.Format,
                       Work.Data() + WorkStart, WorkStart, P.Param.Entries.data() + 2 * First, Rows, C.Width,
                       C.Height - First, WorkPitch, &Lanes);
    In.Poison(C, false);
    In.Poison(C, Got, false);
    if (std::memcmp(WorkBefore.data(), Work.Data(), WorkBefore.size()) != 0) return "the work plane changed";
    const std::string Difference = FirstDifference(Want, Got, In.Pitch, In.Size, "picture (row, pixel)");
    if (Difference.empty()) return "";
    return "layout " + std::to_string(static_cast<int>(In.Format.Layout)) + " depth " +
           std::to_string(In.Format.BitDepth) + (InPlace ? " in place" : "") + ", rows from " +
           std::to_string(First) + ", threshold " + std::to_string(Lanes.Threshold[0]) + ", amount lanes " +
           std::to_string(Lanes.Amount[0]) + "," + std::to_string(Lanes.Amount[1]) + ": " + Difference;
}

// Every kind of kernel a set has, each with its check; a kind added to
// KernelSet must be added here.
struct KernelKind {
    const char* Name;
    std::string (*Check)(const KernelSet& Set, const KernelCase& C, std::mt19937& Rng);
};
const KernelKind Kinds[] = {
    {"horizontal", CheckHorizontal},
    {"vertical", CheckVertical},
    {"format horizontal", CheckFormatHorizontal},
    {"format vertical", CheckFormatVertical},
};
static_assert(std::size(Kinds) == KernelKindCount, "every kind of kernel needs its check");

class KernelChecker : public testing::TestWithParam<const KernelSet*> {
protected:
    void SetUp() override {
        if (!Runs(Set())) GTEST_SKIP() << "this machine cannot run the set";
    }
    const KernelSet& Set() const { return *GetParam(); }
    bool IsScalar() const { return GetParam() == &ScalarKernels; }
};

}  // namespace

TEST_P(KernelChecker, RandomFramesMatchTheScalarModel) {
    const unsigned long Seed = EnvOr("VELGARDE_SEED", 20261208);
    const unsigned long Frames = EnvOr("VELGARDE_FRAMES", 3000);
    std::mt19937 Rng(static_cast<std::mt19937::result_type>(Seed));
    TUnsharpMaskFilter Engine(8);  // 8 slots, up to 13 threads offered
    Engine.UseKernels(Set());
    for (unsigned long i = 0; i < Frames; ++i) {
        const FrameCase C = RandomFrameCase(Rng, i % 500 == 499);
        const std::string Failure = CheckFrame(Engine, C, Rng);
        ASSERT_EQ(Failure, "") << "frame " << i << " of seed " << Seed << ": " << Describe(C);
    }
}

TEST_P(KernelChecker, EveryRadiusAndOddSizes) {
    std::mt19937 Rng(7);
    TUnsharpMaskFilter Engine(8);
    Engine.UseKernels(Set());
    for (int Range = TrackMinimums[TrackRange]; Range <= TrackMaximums[TrackRange]; Range += 3) {
        for (int Size : {1, 2, 3, 7, 8, 9, 23, 33}) {
            FrameCase C{Size + 1, Size, Size + 1, 1 + Range % 13, {300, 300, Range, Range % 101, 0}, true};
            const std::string Failure = CheckFrame(Engine, C, Rng);
            ASSERT_EQ(Failure, "") << Describe(C);
        }
    }
}

TEST_P(KernelChecker, EachKernelMatchesItsScalarTwin) {
    if (IsScalar()) GTEST_SKIP() << "the twins themselves";
    const unsigned long Seed = EnvOr("VELGARDE_SEED", 20261208);
    const unsigned long Cases = EnvOr("VELGARDE_CASES", 1500);
    std::mt19937 Rng(static_cast<std::mt19937::result_type>(Seed));
    for (unsigned long i = 0; i < Cases; ++i) {
        const KernelCase C = RandomKernelCase(Rng, i);
        for (const KernelKind& Kind : Kinds) {
            const std::string Failure = Kind.Check(Set(), C, Rng);
            ASSERT_EQ(Failure, "") << "set " << Set().Name << ", " << Kind.Name << " kernel, case " << i
                                   << " of seed " << Seed << ": " << C.Name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, KernelChecker, testing::ValuesIn(EveryKernelSet()), KernelSetName());

TEST(KernelSetChoice, NewEngineRunsTheBestSetAndRefusesWhatTheMachineLacks) {
    const KernelSetTable Table = BuiltInKernelSets();
    ASSERT_GT(Table.Count, 0u);
    EXPECT_TRUE(MachineRuns(Table.First[Table.Count - 1])) << "the last set is the floor";
    const KernelSet* Best = nullptr;
    for (const KernelSet& Set : Table) {
        // Never the twins in the table, and no name twice.
        EXPECT_NE(Set.Horizontal, ScalarKernels.Horizontal) << Set.Name;
        EXPECT_NE(Set.Vertical, ScalarKernels.Vertical) << Set.Name;
        for (const KernelSet& Other : Table) EXPECT_TRUE(&Set == &Other || std::strcmp(Set.Name, Other.Name) != 0);
        if (Best == nullptr && MachineRuns(Set)) Best = &Set;
        EXPECT_EQ(BuiltInKernelSet(Set.Name), MachineRuns(Set) ? &Set : nullptr) << Set.Name;
    }
    EXPECT_EQ(&BestKernelSet(), Best);
    // libgcc's own reading of CPUID and XGETBV, as a second opinion.
    const struct {
        const char* Name;
        bool Runs;
    } Opinions[] = {
        {"avx2", __builtin_cpu_supports("avx2") != 0},
        {"avx512", __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                       __builtin_cpu_supports("avx512vl")},
    };
    for (const auto& Opinion : Opinions) {
        const KernelSet* Set = nullptr;
        for (const KernelSet& S : Table)
            if (std::strcmp(S.Name, Opinion.Name) == 0) Set = &S;
        if (Set != nullptr) {
            EXPECT_EQ(MachineRuns(*Set), Opinion.Runs) << Opinion.Name;
        }
    }

    TUnsharpMaskFilter E(1);
    EXPECT_EQ(&E.Kernels(), &BestKernelSet());
    EXPECT_TRUE(E.UseKernels("sse2"));
    EXPECT_STREQ(E.Kernels().Name, "sse2");
    EXPECT_FALSE(E.UseKernels("scalar"));  // not built in: the twins come by reference
    EXPECT_FALSE(E.UseKernels("no such set"));
    EXPECT_STREQ(E.Kernels().Name, "sse2");
    E.UseKernels(ScalarKernels);
    EXPECT_EQ(&E.Kernels(), &ScalarKernels);
}

// A table line that leaves out a kind (a set written before the kind was
// added) would leave that member null: every set must name every kind, if
// need be the kernels of a set it includes (AVX2's format kernels serve a
// wider set as well).
TEST(KernelSetChoice, EverySetNamesAKernelOfEveryKind) {
    for (const KernelSet* Set : EveryKernelSet()) {
        void (*Kinds[KernelKindCount])();
        std::memcpy(Kinds, &Set->Horizontal, sizeof Kinds);
        for (std::size_t k = 0; k < KernelKindCount; ++k) EXPECT_NE(Kinds[k], nullptr) << Set->Name << ", kind " << k;
    }
}
