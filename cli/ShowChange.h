// --show: the change view (filter/ChangeView.h) written instead of the
// sharpened picture. One call where an output picture or frame is ready,
// given what it was before sharpening: images of 8 and 16 bits, and planar
// frames (YUV4MPEG2 streams, decoded video), whose luma is compared in the
// filter's units through the stream's own mapping and whose chroma becomes
// neutral, so the view is grey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/Image.h"
#include "cli/LumaMapping.h"
#include "cli/Parallel.h"
#include "cli/Y4mFormat.h"
#include "filter/ChangeView.h"

namespace velgarde {

// `image` sharpened, `before` the same image as read (same size and layout).
void ShowChange(const Image& before, Image* image, TChangeView view);

// A frame's luma plane before sharpening: what ShowChange(frame) needs,
// copied while the frame is still as read. Empty for TChangeView::Picture.
std::vector<std::uint8_t> LumaBeforeSharpening(const Y4mFormat& format, const std::uint8_t* frame,
                                               TChangeView view);

// `frame` (luma plane, then the other planes) sharpened: its luma becomes
// the view, its two chroma planes neutral; an alpha plane is kept.
void ShowChange(const Y4mFormat& format, const LumaMapping& mapping,
                const std::vector<std::uint8_t>& lumaBefore, std::uint8_t* frame, TChangeView view,
                Parallel& parallel);

}  // namespace velgarde
