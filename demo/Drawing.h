// Minimal raster drawing on RGB images, for the built-in test picture and the
// comparison sheet.
#pragma once

#include <array>
#include <string>

#include "cli/Image.h"

namespace velgarde {

using Rgb = std::array<std::uint8_t, 3>;

// Clipped to the image; [x0, x1) x [y0, y1).
void FillRect(Image* image, int x0, int y0, int x1, int y1, Rgb colour);
void FrameRect(Image* image, int x0, int y0, int x1, int y1, int thickness, Rgb colour);
// A simple stroke font, `scale` pixels per font unit; letters are 6 units tall.
void DrawText(Image* image, int x, int y, int scale, const std::string& text, Rgb colour);
int TextWidth(const std::string& text, int scale);

}  // namespace velgarde
