#include "filter/PictureSharpener.h"

#include <algorithm>
#include <cstring>

#include "filter/FormatRows.h"
#include "filter/KernelSets.h"
#include "filter/WorkSplit.h"
#include "util/xmmutil.h"

namespace {

std::size_t Aligned(std::size_t Bytes) { return (Bytes + 127) & ~std::size_t{127}; }

}  // namespace

// One pool index's part of a frame: its groups of output rows and its
// buffers inside the shared block.
struct TPictureSharpener::Share {
    unsigned char* Plane = nullptr;  // BandGroups groups: the bands' work rows
    std::int16_t* Luma = nullptr;    // the same groups' luma rows
    unsigned char* Tail = nullptr;   // TailGroups groups: rows of the share below
    std::int16_t* TailLuma = nullptr;
    std::int32_t First = 0;          // groups [First, End) of the picture are this share's
    std::int32_t End = 0;
    std::int32_t Low = 0;   // the groups its rows read: Low .. High
    std::int32_t High = 0;
};

struct TPictureSharpener::FrameJob {
    TPictureSharpener* Self;
    const KernelSet* Kernels;
    const PixelFormat* Format;
    const std::uint8_t* In;
    std::uint8_t* Out;
    std::ptrdiff_t Pitch;
};

TPictureSharpener::TPictureSharpener(std::uint32_t ThreadSlots) : Filter(ThreadSlots), Shares(ThreadSlots) {}

TPictureSharpener::~TPictureSharpener() {
    if (Block != nullptr) AlignedFree(Block);
}

bool TPictureSharpener::SetParameters(const FilterParameters& P) noexcept {
    return ApplyFilterParameters(Filter, P);
}

void TPictureSharpener::NeededGroups(std::int32_t First, std::int32_t Last, std::int32_t* Low,
                                     std::int32_t* High) const {
    // Plans start and end later for later rows: the first row reaches
    // highest, the last lowest.
    const std::intptr_t* Entries = Filter.VParam.Entries.data();
    const std::intptr_t Line = Filter.VParam.Step;
    const auto* LastList = reinterpret_cast<const std::int16_t*>(Entries[2 * (Last - 1) + 1]);
    *Low = static_cast<std::int32_t>(Entries[2 * First] / Line * 2) / 4;
    *High = static_cast<std::int32_t>(Entries[2 * (Last - 1)] / Line * 2 + 2 * PairCount(LastList) - 1) / 4;
}

bool TPictureSharpener::Prepare(int NewWidth, int NewHeight) noexcept {
    // The engine may have been set up for another frame in between (a host
    // running its own frames through it too).
    if (NewWidth == Width && NewHeight == Height && Filter.IsBuilt() &&
        Filter.HParam.Count == static_cast<std::uint32_t>(NewWidth) &&
        Filter.VParam.Count == static_cast<std::uint32_t>(NewHeight) && Filter.SrcPitch == NewWidth * 6)
        return true;
    Width = Height = 0;
    try {
        // Setup refuses frames whose byte counts do not fit 32 bits, so the
        // sizes below cannot wrap once it has agreed.
        if (!Filter.Setup(NewWidth, NewHeight, NewWidth)) return false;
    } catch (...) {
        return false;
    }
    const std::int32_t Groups = (NewHeight + 3) / 4;
    const std::int32_t Slots = static_cast<std::int32_t>(Shares.size());
    // Each share's reach, and the most groups one band (with what the band
    // before it left) or one share's tail ever needs.
    BandGroups = TailGroups = 1;
    for (std::int32_t i = 0; i < Slots; ++i) {
        Share& S = Shares[static_cast<std::size_t>(i)];
        const WorkShare Part = SplitWork(static_cast<std::uint32_t>(Groups), static_cast<std::uint32_t>(i),
                                         static_cast<std::uint32_t>(Slots), static_cast<std::uint32_t>(Slots));
        S.First = static_cast<std::int32_t>(Part.Start);
        S.End = S.First + static_cast<std::int32_t>(Part.Length);
        if (Part.Length == 0) continue;
        const std::int32_t Rows = std::min(4 * S.End, NewHeight);
        NeededGroups(4 * S.First, Rows, &S.Low, &S.High);
        TailGroups = std::max(TailGroups, S.High + 1 - S.End);
        std::int32_t Kept = S.Low;
        for (std::int32_t Row = 4 * S.First; Row < Rows; Row += BandRows) {
            std::int32_t Low, High;
            NeededGroups(Row, std::min(Row + BandRows, Rows), &Low, &High);
            Kept = std::max(Kept, Low);
            BandGroups = std::max(BandGroups, High + 1 - Kept);
        }
    }
    const std::size_t GroupBytes = static_cast<std::size_t>(Filter.WorkPitch) * 4;
    const std::size_t PlaneBytes = Aligned(GroupBytes * static_cast<std::size_t>(BandGroups));
    const std::size_t LumaBytes = Aligned(FormatLumaBytes(NewWidth, 4 * BandGroups));
    const std::size_t TailBytes = Aligned(GroupBytes * static_cast<std::size_t>(TailGroups));
    ShareBytes = PlaneBytes + LumaBytes + TailBytes + Aligned(FormatLumaBytes(NewWidth, 4 * TailGroups));
    const std::size_t Bytes = ShareBytes * Shares.size();
    if (Bytes > BlockCapacity) {
        try {
            unsigned char* Bigger = static_cast<unsigned char*>(AlignedAlloc(Bytes, 128));
            if (Block != nullptr) AlignedFree(Block);
            Block = Bigger;
            BlockCapacity = Bytes;
        } catch (...) {
            return false;
        }
        // The vertical kernel loads whole 8-column groups of the plane: keep
        // the padding columns defined.
        std::memset(Block, 0, BlockCapacity);
    }
    for (std::size_t i = 0; i < Shares.size(); ++i) {
        unsigned char* At = Block + i * ShareBytes;
        Shares[i].Plane = At;
        Shares[i].Luma = reinterpret_cast<std::int16_t*>(At + PlaneBytes);
        Shares[i].Tail = At + PlaneBytes + LumaBytes;
        Shares[i].TailLuma = reinterpret_cast<std::int16_t*>(At + PlaneBytes + LumaBytes + TailBytes);
    }
    Width = NewWidth;
    Height = NewHeight;
    return true;
}

// Run 1: the work rows a share reads from its neighbours' groups, computed
// before any share writes a pixel: those above into the start of its plane,
// those below into its tail.
void TPictureSharpener::MarginTask(unsigned Index, unsigned, void* Context) {
    const FrameJob& Job = *static_cast<const FrameJob*>(Context);
    const TPictureSharpener& Self = *Job.Self;
    const Share& S = Self.Shares[Index];
    if (S.End == S.First) return;
    const TUnsharpMaskFilter& F = Self.Filter;
    auto Horizontal = [&](unsigned char* To, std::int16_t* Luma, std::int32_t From, std::int32_t Until) {
        if (From >= Until) return;
        Job.Kernels->FormatHorizontal(To, Job.In + std::ptrdiff_t{4 * From} * Job.Pitch, Job.Pitch, Job.Format,
                                      F.HParam.Entries.data(), Luma, Self.Width, Until - From, F.WorkPitch,
                                      Self.Height - 4 * From);
    };
    // (Their luma rows are never read: the vertical pass reads its own rows'.)
    Horizontal(S.Plane, S.Luma, S.Low, S.First);
    Horizontal(S.Tail, S.TailLuma, S.End, S.High + 1);
}

// Run 2: the share's bands top to bottom. The plane holds groups
// [Kept, Ready): a band drops the groups above its reach, moves the rest to
// the front, adds the groups below them (its own from the picture, its
// neighbour's from the tail) and runs the vertical pass over its rows.
void TPictureSharpener::BandTask(unsigned Index, unsigned, void* Context) {
    const FrameJob& Job = *static_cast<const FrameJob*>(Context);
    const TPictureSharpener& Self = *Job.Self;
    const Share& S = Self.Shares[Index];
    if (S.End == S.First) return;
    const TUnsharpMaskFilter& F = Self.Filter;
    const std::ptrdiff_t GroupBytes = std::ptrdiff_t{F.WorkPitch} * 4;
    const std::ptrdiff_t RowLuma = LumaRunStride(Self.Width);
    const std::int32_t Rows = std::min(4 * S.End, Self.Height);
    std::int32_t Kept = S.Low, Ready = S.First;
    for (std::int32_t Row = 4 * S.First; Row < Rows; Row += BandRows) {
        const std::int32_t Last = std::min(Row + BandRows, Rows);
        std::int32_t Low, High;
        Self.NeededGroups(Row, Last, &Low, &High);
        if (Low > Kept) {
            const std::int32_t Keep = std::max(Ready - Low, 0);
            std::memmove(S.Plane, S.Plane + (Low - Kept) * GroupBytes, static_cast<std::size_t>(Keep * GroupBytes));
            std::memmove(S.Luma, S.Luma + 4 * (Low - Kept) * RowLuma,
                         static_cast<std::size_t>(4 * Keep * RowLuma) * sizeof(std::int16_t));
            Kept = Low;
            Ready = std::max(Ready, Low);
        }
        const std::int32_t Own = std::min(High + 1, S.End);
        if (Ready < Own) {
            Job.Kernels->FormatHorizontal(S.Plane + (Ready - Kept) * GroupBytes,
                                          Job.In + std::ptrdiff_t{4 * Ready} * Job.Pitch, Job.Pitch, Job.Format,
                                          F.HParam.Entries.data(), S.Luma + 4 * (Ready - Kept) * RowLuma, Self.Width,
                                          Own - Ready, F.WorkPitch, Self.Height - 4 * Ready);
            Ready = Own;
        }
        if (Ready <= High) {
            std::memcpy(S.Plane + (Ready - Kept) * GroupBytes, S.Tail + (Ready - S.End) * GroupBytes,
                        static_cast<std::size_t>((High + 1 - Ready) * GroupBytes));
            Ready = High + 1;
        }
        const std::ptrdiff_t At = std::ptrdiff_t{Row} * Job.Pitch;
        Job.Kernels->FormatVertical(Job.In + At, Job.Out + At, Job.Pitch, Job.Format, S.Plane, Kept * GroupBytes,
                                    F.VParam.Entries.data() + 2 * std::ptrdiff_t{Row}, S.Luma + (Row - 4 * Kept) * RowLuma,
                                    Self.Width, Last - Row, F.WorkPitch, &F.Lanes);
    }
}

bool TPictureSharpener::Process(TThreadPool& Pool, const PixelFormat& Format, const void* In, void* Out, int W,
                                int H, std::ptrdiff_t Pitch) noexcept {
    if (W < 0 || H < 0) return false;
    if (W == 0 || H == 0) return true;
    // In 64 bits: a 32-bit ptrdiff_t cannot hold every row's bytes.
    if (In == nullptr || Out == nullptr || std::int64_t{Pitch} < std::int64_t{W} * PixelBytes(Format.Layout))
        return false;
    if (!Prepare(W, H)) return false;
    FrameJob Job{this, &Filter.Kernels(), &Format, static_cast<const std::uint8_t*>(In), static_cast<std::uint8_t*>(Out), Pitch};
    const unsigned Count = static_cast<unsigned>(Shares.size());
    Pool.Run(MarginTask, &Job, Count);
    Pool.Run(BandTask, &Job, Count);
    return true;
}
