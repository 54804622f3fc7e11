// velgarde_demo: the pictures of `make demo` and docs/settings.md.
//   velgarde_demo scene OUT.png                  the built-in test scene
//   velgarde_demo compare BEFORE AFTER OUT.png   before | after, crops magnified below
//   velgarde_demo settings OUT.png [PLUGIN]      one crop of the scene at several settings
#include <cstdio>
#include <string>
#include <vector>

#include "cli/FrontEnd.h"
#include "cli/ImageIO.h"
#include "cli/ImageSharpen.h"
#include "cli/OutputFile.h"
#include "cli/SettingsOptions.h"
#include "demo/DemoScene.h"

namespace velgarde {
namespace {

const Reporter report("velgarde_demo");

bool Load(const std::string& path, Image* image) {
    InputFile input;
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (input.Open(path, &error) && ReadAll(input.Source(), std::size_t{512} << 20, &bytes, &error) &&
        DecodeImage(bytes, ImageLimits{}, image, &error))
        return true;
    report.Fail(path, error);
    return false;
}

int Save(const Image& image, const std::string& path) {
    OutputFile out;
    std::string error;
    if (!out.Open(path, &error) || !EncodePng(image, out.Sink(), &error) || !out.Commit(&error))
        return report.Fail(path, error);
    return 0;
}

int Compare(const std::string& beforePath, const std::string& afterPath, const std::string& outPath) {
    Image before, after;
    if (!Load(beforePath, &before) || !Load(afterPath, &after)) return 1;
    if (before.width != after.width || before.height != after.height) {
        return report.Say("the two images differ in size");
    }
    CropRegion crop = DemoCrop();
    const Image demo = DemoScene();
    if (before.width != demo.width || before.height != demo.height)
        crop = {before.width * 3 / 8, before.height * 3 / 8, before.width / 4, before.height / 4};
    return Save(CompareSheet(ReducedTo8Bits(before), ReducedTo8Bits(after), crop, 4), outPath);
}

int Settings(const std::string& outPath, std::string plugin) {
    struct Setting {
        const char* label;
        std::vector<std::string> args;
    };
    const std::vector<Setting> settings = {
        {"original", {}},
        {"defaults", {}},
        {"--preset light", {"--preset", "light"}},
        {"--preset medium", {"--preset", "medium"}},
        {"--preset strong", {"--preset", "strong"}},
        {"--sigma 2.5", {"--sigma", "2.5"}},
        {"--amount-plus 0", {"--amount-plus", "0"}},
        {"medium, --threshold 160", {"--preset", "medium", "--threshold", "160"}},
    };
    const Image scene = DemoScene();
    std::vector<LabelledImage> tiles;
    for (std::size_t i = 0; i < settings.size(); ++i) {
        Image image = scene;
        if (i > 0) {
            SettingsOptions options;
            std::vector<std::string> rest;
            std::string error;
            HostProcessor processor;
            if (!ParseSettingsOptions(settings[i].args, {}, &options, &rest, &error) ||
                !OpenPlugin(&processor, plugin, 0, options.tracks, &error) ||
                !SharpenImage(&image, processor, &error))
                return report.Fail(settings[i].label, error);
        }
        tiles.push_back({settings[i].label, image});
    }
    return Save(SettingsSheet(tiles, DemoCrop(), 2, 4), outPath);
}

}  // namespace
}  // namespace velgarde

int main(int argc, char** argv) {
    const std::vector<std::string> a = velgarde::StartFrontEnd(argc, argv);
    if (a.size() == 2 && a[0] == "scene") return velgarde::Save(velgarde::DemoScene(), a[1]);
    if (a.size() == 4 && a[0] == "compare") return velgarde::Compare(a[1], a[2], a[3]);
    if ((a.size() == 2 || a.size() == 3) && a[0] == "settings")
        return velgarde::Settings(a[1], a.size() == 3 ? a[2] : "");
    std::fprintf(stderr,
                 "usage: velgarde_demo scene OUT.png\n"
                 "       velgarde_demo compare BEFORE.png AFTER.png OUT.png\n"
                 "       velgarde_demo settings OUT.png [PLUGIN]\n");
    return 2;
}
