#include "filter/ChangeView.h"

#include <algorithm>
#include <cstring>

#include "filter/RgbLuma.h"

namespace {

constexpr int MidGrey = LumaWhite / 2;

// round(sqrt(1024 x Change)) for every change 0 .. LumaWhite, built by the
// compiler: whole numbers only, so the same on every target, and no
// square root per pixel.
struct TRootTable {
    std::int16_t Root[LumaWhite + 1];
};

constexpr TRootTable MakeRootTable() {
    TRootTable Table{};
    int Root = 0;
    for (int Change = 0; Change <= LumaWhite; ++Change) {
        const int X = 1024 * Change;
        while ((Root + 1) * (Root + 1) <= X) ++Root;
        // Rounded: up when X lies past Root^2 + Root (never a tie for whole X).
        Table.Root[Change] = static_cast<std::int16_t>(X - Root * Root > Root ? Root + 1 : Root);
    }
    return Table;
}

constexpr TRootTable Roots = MakeRootTable();

constexpr int HeldLuma(int Y) { return Y < 0 ? 0 : Y > LumaWhite ? LumaWhite : Y; }

constexpr int GreyCode(int Y) { return (Y * 255 + LumaWhite / 2) >> 12; }

// The 8-bit grey of every change -LumaWhite .. LumaWhite on mid-grey, for
// the pixel loop: one look-up a pixel.
struct TGreyTable {
    std::uint8_t Grey[2 * LumaWhite + 1];
};

constexpr TGreyTable MakeGreyTable() {
    TGreyTable Table{};
    for (int Change = -LumaWhite; Change <= LumaWhite; ++Change) {
        const int Distance = Roots.Root[Change < 0 ? -Change : Change];
        Table.Grey[Change + LumaWhite] =
            static_cast<std::uint8_t>(GreyCode(HeldLuma(Change < 0 ? MidGrey - Distance : MidGrey + Distance)));
    }
    return Table;
}

constexpr TGreyTable GreyOfChange = MakeGreyTable();

// Each pixel's grey into its colour channels; alpha from After (read first:
// Out may be After).
template <int Channels>
void WriteGreys(const std::uint8_t* Greys, std::size_t Count, const std::uint8_t* After, std::uint8_t* Out) {
    constexpr bool Alpha = Channels % 2 == 0;
    constexpr int Colours = Alpha ? Channels - 1 : Channels;
    for (std::size_t i = 0; i < Count; ++i, After += Channels, Out += Channels) {
        const std::uint8_t Kept = Alpha ? After[Colours] : 0;
        for (int c = 0; c < Colours; ++c) Out[c] = Greys[i];
        if (Alpha) Out[Colours] = Kept;
    }
}

}  // namespace

int ChangeViewLuma(int Before, int After, TChangeView View) {
    if (View == TChangeView::Picture) return HeldLuma(After);
    const int Change = HeldLuma(After) - HeldLuma(Before);
    const int Distance = Roots.Root[Change < 0 ? -Change : Change];
    // A quarter of the contrast: -512 .. 512 around mid-grey.
    const int Base = View == TChangeView::OverPicture ? MidGrey + (HeldLuma(Before) - MidGrey) / 4 : MidGrey;
    return HeldLuma(Change < 0 ? Base - Distance : Base + Distance);
}

void ChangeViewPixels(const std::uint8_t* Before, const std::uint8_t* After, int Channels,
                      std::size_t Count, TChangeView View, std::uint8_t* Out) {
    if (Channels < 1 || Channels > 4) return;
    const std::size_t Width = static_cast<std::size_t>(Channels);
    if (View == TChangeView::Picture) {
        if (Out != After) std::memmove(Out, After, Count * Width);
        return;
    }
    // In runs, so both lumas come from the vector path and Out may be either input.
    constexpr std::size_t Run = 256;
    std::int16_t LumaBefore[Run], LumaAfter[Run];
    std::uint8_t Greys[Run];
    for (std::size_t Start = 0; Start < Count; Start += Run) {
        const std::size_t N = std::min(Run, Count - Start);
        const std::size_t Offset = Start * Width;
        PixelsToLuma(Before + Offset, Channels, N, LumaBefore, 1);
        PixelsToLuma(After + Offset, Channels, N, LumaAfter, 1);
        // 8-bit pixels have their luma within 0 .. LumaWhite.
        if (View == TChangeView::Change) {
            for (std::size_t i = 0; i < N; ++i) Greys[i] = GreyOfChange.Grey[LumaAfter[i] - LumaBefore[i] + LumaWhite];
        } else {
            for (std::size_t i = 0; i < N; ++i)
                Greys[i] = static_cast<std::uint8_t>(GreyCode(ChangeViewLuma(LumaBefore[i], LumaAfter[i], View)));
        }
        switch (Channels) {
        case 1: WriteGreys<1>(Greys, N, After + Offset, Out + Offset); break;
        case 2: WriteGreys<2>(Greys, N, After + Offset, Out + Offset); break;
        case 3: WriteGreys<3>(Greys, N, After + Offset, Out + Offset); break;
        default: WriteGreys<4>(Greys, N, After + Offset, Out + Offset); break;
        }
    }
}
