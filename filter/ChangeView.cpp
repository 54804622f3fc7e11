#include "filter/ChangeView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filter/RgbLuma.h"

namespace {

constexpr int MidGrey = LumaWhite / 2;

// round(sqrt(X)) for 0 <= X <= 2^22, exactly: the double root is at most one
// off on any target, and the fix-ups settle it. X is never a square plus
// a half, so there is no tie.
int RoundedRoot(int X) {
    int Root = static_cast<int>(std::sqrt(static_cast<double>(X)));
    while (Root * Root > X) --Root;
    while ((Root + 1) * (Root + 1) <= X) ++Root;
    return X - Root * Root > Root ? Root + 1 : Root;
}

int HeldLuma(int Y) { return std::clamp(Y, 0, LumaWhite); }

}  // namespace

int ChangeViewLuma(int Before, int After, TChangeView View) {
    if (View == TChangeView::Picture) return HeldLuma(After);
    const int Change = HeldLuma(After) - HeldLuma(Before);
    const int Distance = RoundedRoot(1024 * (Change < 0 ? -Change : Change));
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
    const bool Alpha = Channels == 2 || Channels == 4;
    const int Colours = Alpha ? Channels - 1 : Channels;
    // In runs, so both lumas come from the vector path and Out may be either input.
    constexpr std::size_t Run = 256;
    std::int16_t LumaBefore[Run], LumaAfter[Run];
    for (std::size_t Start = 0; Start < Count; Start += Run) {
        const std::size_t N = std::min(Run, Count - Start);
        const std::size_t Offset = Start * Width;
        PixelsToLuma(Before + Offset, Channels, N, LumaBefore, 1);
        PixelsToLuma(After + Offset, Channels, N, LumaAfter, 1);
        for (std::size_t i = 0; i < N; ++i) {
            const int Y = ChangeViewLuma(LumaBefore[i], LumaAfter[i], View);
            const std::uint8_t Grey = static_cast<std::uint8_t>((Y * 255 + LumaWhite / 2) >> 12);
            std::uint8_t* Pixel = Out + Offset + i * Width;
            const std::uint8_t Kept = Alpha ? After[Offset + i * Width + Colours] : 0;
            for (int c = 0; c < Colours; ++c) Pixel[c] = Grey;
            if (Alpha) Pixel[Colours] = Kept;
        }
    }
}
