// A picture of what sharpening changed, for setting the threshold and the
// two amounts by eye. Every front end makes it through these routines, from
// the picture it was handed and the sharpened picture it would have written,
// so the same picture gives the same view everywhere.
//
// The change is the luma of the sharpened pixel minus the luma of the pixel
// as it came, in the filter's units (filter/RgbLuma.h: 4096 = white). It is
// shown as grey: no change is mid-grey (luma 2048, 8-bit code 128),
// brightening lighter, darkening darker. The distance from mid-grey is the
// square root of the change, round(sqrt(1024 x |change|)), so that small
// changes stand out and large ones still differ: a change of n 8-bit levels
// moves the view 8 x sqrt(n) levels, 1 level -> 8, 4 -> 16, 16 -> 32,
// 64 -> 64, and the full range -> black or white.
//
// Over the picture, the same distance is added to a dimmed copy of the
// picture's luma (a quarter of its contrast around mid-grey) instead of to
// mid-grey: where nothing changed the picture shows faintly, so the changes
// can be placed in it.
#pragma once

#include <cstddef>
#include <cstdint>

enum class TChangeView {
    Picture,      // the sharpened picture itself: no view
    Change,       // the change on mid-grey
    OverPicture,  // the change over the dimmed picture
};

// The view's luma (0 .. LumaWhite) of a pixel whose luma went from Before to
// After (filter units; values beyond black and white are held to them).
// For TChangeView::Picture, After held to 0 .. LumaWhite.
int ChangeViewLuma(int Before, int After, TChangeView View);

// The view of Count pixels of Channels interleaved bytes (1 grey, 2 grey and
// alpha, 3 RGB, 4 RGBA): Before as the front end was handed them, After as
// sharpened. Colour channels get the view's grey; alpha is After's. Out may
// be After or Before (each pixel is read before it is written). Does nothing
// for TChangeView::Picture but copy After to Out.
void ChangeViewPixels(const std::uint8_t* Before, const std::uint8_t* After, int Channels,
                      std::size_t Count, TChangeView View, std::uint8_t* Out);
