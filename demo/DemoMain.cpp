// velgarde_demo: the pictures of `make demo` and docs/settings.md.
//   velgarde_demo scene OUT.png                  the built-in test scene
//   velgarde_demo compare BEFORE AFTER OUT.png   before | after, crops magnified below
//   velgarde_demo settings OUT.png [PLUGIN]      one crop of the scene at several settings
//   velgarde_demo changes OUT.png [PLUGIN]       the change view of that crop at several settings
#include <cstdio>
#include <string>
#include <vector>

#include "cli/FrontEnd.h"
#include "cli/ImageIO.h"
#include "cli/ImageSharpen.h"
#include "cli/OutputFile.h"
#include "cli/SettingsOptions.h"
#include "cli/ShowChange.h"
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

struct Setting {
    const char* label;
    std::vector<std::string> args;
    bool sharpened = true;  // false: the scene as it is
    TChangeView show = TChangeView::Picture;
};

// The crop of the scene through the tool's own path at each setting.
int SettingsSheetOf(const std::vector<Setting>& settings, const std::string& outPath,
                    const std::string& plugin) {
    const Image scene = DemoScene();
    std::vector<LabelledImage> tiles;
    for (const Setting& setting : settings) {
        Image image = scene;
        if (setting.sharpened) {
            SettingsOptions options;
            std::vector<std::string> rest;
            std::string error;
            HostProcessor processor;
            if (!ParseSettingsOptions(setting.args, {}, &options, &rest, &error) ||
                !OpenPlugin(&processor, plugin, 0, options.tracks, &error) ||
                !SharpenImage(&image, processor, &error))
                return report.Fail(setting.label, error);
            ShowChange(scene, &image, setting.show);
        }
        tiles.push_back({setting.label, image});
    }
    return Save(SettingsSheet(tiles, DemoCrop(), 2, 4), outPath);
}

int Settings(const std::string& outPath, const std::string& plugin) {
    return SettingsSheetOf(
        {
            {"original", {}, false},
            {"defaults", {}},
            {"--preset light", {"--preset", "light"}},
            {"--preset medium", {"--preset", "medium"}},
            {"--preset strong", {"--preset", "strong"}},
            {"--sigma 2.5", {"--sigma", "2.5"}},
            {"--amount-plus 0", {"--amount-plus", "0"}},
            {"medium, --threshold 160", {"--preset", "medium", "--threshold", "160"}},
        },
        outPath, plugin);
}

// What each amount and the threshold do, as the change view shows them.
int Changes(const std::string& outPath, const std::string& plugin) {
    constexpr TChangeView change = TChangeView::Change;
    return SettingsSheetOf(
        {
            {"defaults", {}, true, change},
            {"--amount-plus 0", {"--amount-plus", "0"}, true, change},
            {"--amount-minus 0", {"--amount-minus", "0"}, true, change},
            {"--preset medium", {"--preset", "medium"}, true, change},
            {"medium, --threshold 40", {"--preset", "medium", "--threshold", "40"}, true, change},
            {"medium, --threshold 160", {"--preset", "medium", "--threshold", "160"}, true, change},
            {"medium, --threshold 480", {"--preset", "medium", "--threshold", "480"}, true, change},
            {"medium, --show overlay", {"--preset", "medium"}, true, TChangeView::OverPicture},
        },
        outPath, plugin);
}

}  // namespace
}  // namespace velgarde

int main(int argc, char** argv) {
    const std::vector<std::string> a = velgarde::StartFrontEnd(argc, argv);
    if (a.size() == 2 && a[0] == "scene") return velgarde::Save(velgarde::DemoScene(), a[1]);
    if (a.size() == 4 && a[0] == "compare") return velgarde::Compare(a[1], a[2], a[3]);
    if ((a.size() == 2 || a.size() == 3) && a[0] == "settings")
        return velgarde::Settings(a[1], a.size() == 3 ? a[2] : "");
    if ((a.size() == 2 || a.size() == 3) && a[0] == "changes")
        return velgarde::Changes(a[1], a.size() == 3 ? a[2] : "");
    std::fprintf(stderr,
                 "usage: velgarde_demo scene OUT.png\n"
                 "       velgarde_demo compare BEFORE.png AFTER.png OUT.png\n"
                 "       velgarde_demo settings OUT.png [PLUGIN]\n"
                 "       velgarde_demo changes OUT.png [PLUGIN]\n");
    return 2;
}
