// Still images through the luma filter (8 or 16 bits): luma in the host's units from the
// pixels (full range, 0 to 255 onto 0 to 4096), and the change the filter
// made to it added back to every colour channel, so that pixels whose luma
// is unchanged keep their exact values. Alpha is never touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Image.h"
#include "cli/LumaProcessor.h"

namespace velgarde {

// The image's luma (filter/RgbLuma.h): the same path as every other RGB host.
std::vector<std::int16_t> ImageLuma(const Image& image);

bool SharpenImage(Image* image, LumaProcessor& processor, std::string* error);

}  // namespace velgarde
