// The built-in test picture: fine detail, text-like strokes, hard edges and
// smooth gradients, slightly blurred, so that sharpening shows at a glance.
// Generated in code, identical on every platform.
#pragma once

#include "host/velgarde/Image.h"

namespace velgarde {

struct CropRegion {
    int x, y, width, height;
};

Image DemoScene();
// Where the picture has the most to show, for the magnified crop.
CropRegion DemoCrop();

// before | after side by side, and below them the crop of each magnified.
// Both images must have the same size. The result is RGB.
Image CompareSheet(const Image& before, const Image& after, CropRegion crop, int zoom);

}  // namespace velgarde
