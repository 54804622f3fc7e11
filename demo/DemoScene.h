// The built-in test picture: fine detail, text-like strokes, hard edges and
// smooth gradients, slightly blurred, so that sharpening shows at a glance.
// Generated in code, identical on every platform.
#pragma once

#include <string>
#include <vector>

#include "cli/Image.h"

namespace velgarde {

struct CropRegion {
    int x, y, width, height;
};

Image DemoScene();
// Where the picture has the most to show, for the magnified crop.
CropRegion DemoCrop();

// before | after | the change view (filter/ChangeView.h) side by side, and
// below them the crop of each magnified. Both images must have the same
// size. The result is RGB.
Image CompareSheet(const Image& before, const Image& after, CropRegion crop, int zoom);

// A grid of the same crop of several pictures, magnified, each under its
// label: the settings side by side. The result is RGB.
struct LabelledImage {
    std::string label;
    Image image;
};
Image SettingsSheet(const std::vector<LabelledImage>& tiles, CropRegion crop, int zoom, int columns);

}  // namespace velgarde
