// velgarde_demo: the pictures of `make demo` and docs/settings.md.
//   velgarde_demo scene OUT.png                  the built-in test scene
//   velgarde_demo compare BEFORE AFTER OUT.png   before | after, crops magnified below
//   velgarde_demo settings OUT.png [PLUGIN]      one crop of the scene at several settings
//   velgarde_demo changes OUT.png [PLUGIN]       the same crop's change view (--show change)
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Files.h"
#include "cli/HostProcessor.h"
#include "cli/ImageIO.h"
#include "cli/ImageSharpen.h"
#include "cli/Options.h"
#include "cli/OutputFile.h"
#include "cli/ShowChange.h"
#include "demo/DemoScene.h"

namespace velgarde {
namespace {

bool Load(const std::string& path, Image* image) {
    std::FILE* f = OpenFile(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "velgarde_demo: %s: cannot open\n", path.c_str());
        return false;
    }
    FileSource source(f);
    std::vector<std::uint8_t> bytes;
    std::string error;
    const bool ok = ReadAll(source, std::size_t{512} << 20, &bytes, &error) &&
                    DecodeImage(bytes, ImageLimits{}, image, &error);
    std::fclose(f);
    if (!ok) std::fprintf(stderr, "velgarde_demo: %s: %s\n", path.c_str(), error.c_str());
    return ok;
}

int Save(const Image& image, const std::string& path) {
    OutputFile out;
    std::string error;
    if (!out.Open(path, &error) || !EncodePng(image, out.Sink(), &error) || !out.Commit(&error)) {
        std::fprintf(stderr, "velgarde_demo: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

int Compare(const std::string& beforePath, const std::string& afterPath, const std::string& outPath) {
    Image before, after;
    if (!Load(beforePath, &before) || !Load(afterPath, &after)) return 1;
    if (before.width != after.width || before.height != after.height) {
        std::fprintf(stderr, "velgarde_demo: the two images differ in size\n");
        return 1;
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
};

// The crop of the scene through the tool's own path at each setting,
// --show included.
int SettingsSheetOf(const std::vector<Setting>& settings, const std::string& outPath, std::string plugin) {
    if (plugin.empty()) plugin = DefaultModulePaths(nullptr).front();
    const Image scene = DemoScene();
    std::vector<LabelledImage> tiles;
    for (const Setting& setting : settings) {
        Image image = scene;
        if (setting.sharpened) {
            std::vector<std::string> args = setting.args;
            args.push_back("in");
            args.push_back("out");
            Options options;
            std::string error;
            HostProcessor processor;
            if (!ParseOptions(args, &options, &error) ||
                !processor.Open(plugin, 0, options.tracks, &error) ||
                !SharpenImage(&image, processor, &error)) {
                std::fprintf(stderr, "velgarde_demo: %s: %s\n", setting.label, error.c_str());
                return 1;
            }
            ShowChange(scene, &image, options.show);
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
    return SettingsSheetOf(
        {
            {"defaults", {"--show", "change"}},
            {"--amount-plus 0", {"--show", "change", "--amount-plus", "0"}},
            {"--amount-minus 0", {"--show", "change", "--amount-minus", "0"}},
            {"--preset medium", {"--show", "change", "--preset", "medium"}},
            {"medium, --threshold 40", {"--show", "change", "--preset", "medium", "--threshold", "40"}},
            {"medium, --threshold 160", {"--show", "change", "--preset", "medium", "--threshold", "160"}},
            {"medium, --threshold 480", {"--show", "change", "--preset", "medium", "--threshold", "480"}},
            {"medium, --show overlay", {"--show", "overlay", "--preset", "medium"}},
        },
        outPath, plugin);
}

}  // namespace
}  // namespace velgarde

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
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
