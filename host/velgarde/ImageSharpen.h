// Still images through the luma filter: luma in the host's units from the
// pixels (full range, 0 to 255 onto 0 to 4096), and the change the filter
// made to it added back to every colour channel, so that pixels whose luma
// is unchanged keep their exact values. Alpha is never touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/velgarde/Image.h"
#include "host/velgarde/LumaProcessor.h"

namespace velgarde {

// Y = (0.299 R + 0.587 G + 0.114 B) x 4096 / 255, rounded; grey is its own luma.
std::vector<std::int16_t> ImageLuma(const Image& image);
// A luma change in host units as an 8-bit step, rounded half away from zero.
int LumaChangeToCode(int change);
// `after` holds value i at after[i * step].
void ApplyLumaChange(const std::vector<std::int16_t>& before, const std::int16_t* after,
                     std::ptrdiff_t step, Image* image);

bool SharpenImage(Image* image, LumaProcessor& processor, std::string* error);

}  // namespace velgarde
