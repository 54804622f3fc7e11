// 8-bit pixels and the filter's luma: the one path by which every host that
// works on RGB(A) or grey pictures (the tool's images, effect hosts) turns
// pixels into Y, and Y's change back into pixels. Pixels whose luma the
// filter left alone keep their exact bytes; alpha is never touched.
//
// The routines work on any run of pixels, so hosts split a picture into row
// bands and convert the bands on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

// White in the filter's units: codes 0..255 span Y 0..4096.
constexpr int LumaWhite = 4096;

// Luma of Count pixels of Channels interleaved bytes each (1 grey, 2 grey and
// alpha, 3 RGB, 4 RGBA): Y = (0.299 R + 0.587 G + 0.114 B) x 4096 / 255,
// rounded to nearest; grey is its own luma. Value i goes to Luma[i * LumaStep].
void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::ptrdiff_t LumaStep);

// A luma change in the filter's units as an 8-bit step, rounded half away
// from zero: changes of half a code or less are no change.
int LumaChangeToCode(int Change);

// Adds each pixel's luma change (After[i * AfterStep] - Before[i]), as an
// 8-bit step, to its colour channels, clipped to 0..255.
void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     std::uint8_t* Pixels);

// The same two routines for hosts that keep each pixel's luma twice, side by
// side with one step (a frame of Y, Cb, Cr whose filter changes only Y can
// hold the luma as it was in Cb): PixelsToLuma also writes LumaCopy, and
// ApplyLumaChange reads Before with AfterStep too.
void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::int16_t* LumaCopy, std::ptrdiff_t LumaStep);
void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t Step, std::size_t Count, int Channels,
                     std::uint8_t* Pixels, std::ptrdiff_t BeforeStep);
// And from the pixels From into To (the same run of pixels elsewhere, or
// From itself), so that a host writing a new picture reads the old one once.
void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t Step, std::size_t Count, int Channels,
                     const std::uint8_t* From, std::uint8_t* To, std::ptrdiff_t BeforeStep);

// The plain scalar twins of the routines above: same arguments, same
// results for every input. The routines above use SSE2 for RGBA and RGB and
// fall back to these for the rest; checkers compare the two.
void PixelsToLuma_c(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                    std::int16_t* Luma, std::ptrdiff_t LumaStep);
void ApplyLumaChange_c(const std::int16_t* Before, const std::int16_t* After,
                       std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                       std::uint8_t* Pixels, std::ptrdiff_t BeforeStep = 1);
