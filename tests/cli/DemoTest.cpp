// The demo's pictures: the test scene, the comparison and settings sheets.
#include <gtest/gtest.h>

#include <cstdlib>

#include "demo/DemoScene.h"

namespace velgarde {
namespace {

Image Pattern(int w, int h, int channels) {
    Image img(w, h, channels);
    for (std::size_t i = 0; i < img.pixels.size(); ++i)
        img.pixels[i] = static_cast<std::uint8_t>((i * 37 + i / 7) & 0xff);
    return img;
}

TEST(DemoScene, HasDetailEdgesAndGradientsAndIsBlurredSlightly) {
    const Image scene = DemoScene();
    ASSERT_EQ(scene.channels, 3);
    ASSERT_EQ(scene.width, 640);
    ASSERT_EQ(scene.height, 400);
    // Deterministic: the same picture every time.
    EXPECT_EQ(DemoScene().pixels, scene.pixels);
    // Blurred: no step between neighbours is a full black-to-white jump,
    // but there are strong edges.
    int largest = 0;
    for (int y = 0; y < scene.height; ++y)
        for (int x = 1; x < scene.width; ++x)
            largest = std::max(largest, std::abs(scene.At(x, y)[1] - scene.At(x - 1, y)[1]));
    EXPECT_GT(largest, 60);
    EXPECT_LT(largest, 190);
    const CropRegion crop = DemoCrop();
    EXPECT_LE(crop.x + crop.width, scene.width);
    EXPECT_LE(crop.y + crop.height, scene.height);
}

TEST(DemoScene, CompareSheetPlacesBothPicturesTheChangeAndTheCrops) {
    const Image before = Pattern(40, 20, 3);
    Image after = before;
    after.pixels[0] ^= 0xff;
    const Image sheet = CompareSheet(before, after, CropRegion{10, 5, 10, 5}, 4);
    EXPECT_EQ(sheet.width, 3 * 40 + 2 * 8);
    EXPECT_EQ(sheet.height, 20 + 20 + 8 + 20 + 5 * 4);
    // The after picture's top-left pixel, at its place right of the gap.
    EXPECT_EQ(sheet.At(48, 20)[0], after.pixels[0]);
    EXPECT_EQ(sheet.At(0, 20)[0], before.pixels[0]);
    // The change view right of it: the changed pixel off mid-grey, the next one on it.
    EXPECT_NE(sheet.At(96, 20)[0], 128);
    EXPECT_EQ(sheet.At(97, 20)[1], 128);
    // The crop magnified: crop pixel (0, 0) fills a 4x4 block.
    const std::uint8_t* source = before.At(10, 5);
    for (int dy = 0; dy < 4; ++dy)
        for (int dx = 0; dx < 4; ++dx) EXPECT_EQ(sheet.At(dx, 68 + dy)[2], source[2]);
}

TEST(DemoScene, SettingsSheetLaysTheCropsOutInAGrid) {
    const Image a = Pattern(40, 20, 3), b = Pattern(40, 20, 1);
    const Image sheet = SettingsSheet({{"a", a}, {"b", b}, {"c", a}}, CropRegion{10, 5, 10, 5}, 2, 2);
    EXPECT_EQ(sheet.width, 8 + 2 * (20 + 8));
    EXPECT_EQ(sheet.height, 8 + 2 * (10 + 20 + 8));
    EXPECT_EQ(sheet.At(8, 8 + 20)[0], a.At(10, 5)[0]);
    EXPECT_EQ(sheet.At(8 + 28 + 1, 8 + 20 + 1)[1], b.At(10, 5)[0]);  // grey spread to RGB
}

}  // namespace
}  // namespace velgarde
