// velgarde_compare BEFORE AFTER OUT: the comparison sheet for `make demo`.
#include <cstdio>
#include <string>
#include <vector>

#include "host/velgarde/ByteStream.h"
#include "host/velgarde/DemoScene.h"
#include "host/velgarde/ImageIO.h"
#include "host/velgarde/OutputFile.h"

namespace {

bool Load(const char* path, velgarde::Image* image) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "velgarde_compare: %s: cannot open\n", path);
        return false;
    }
    velgarde::FileSource source(f);
    std::vector<std::uint8_t> bytes;
    std::string error;
    bool reduced = false;
    const bool ok = velgarde::ReadAll(source, std::size_t{512} << 20, &bytes, &error) &&
                    velgarde::DecodeImage(bytes, velgarde::ImageLimits{}, image, &reduced, &error);
    std::fclose(f);
    if (!ok) std::fprintf(stderr, "velgarde_compare: %s: %s\n", path, error.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: velgarde_compare BEFORE.png AFTER.png OUT.png\n");
        return 2;
    }
    velgarde::Image before, after;
    if (!Load(argv[1], &before) || !Load(argv[2], &after)) return 1;
    if (before.width != after.width || before.height != after.height) {
        std::fprintf(stderr, "velgarde_compare: the two images differ in size\n");
        return 1;
    }
    velgarde::CropRegion crop = velgarde::DemoCrop();
    const velgarde::Image demo = velgarde::DemoScene();
    if (before.width != demo.width || before.height != demo.height)
        crop = {before.width * 3 / 8, before.height * 3 / 8, before.width / 4, before.height / 4};
    const velgarde::Image sheet = velgarde::CompareSheet(before, after, crop, 4);
    velgarde::OutputFile out;
    std::string error;
    if (!out.Open(argv[3], &error) || !velgarde::EncodePng(sheet, out.Sink(), &error) ||
        !out.Commit(&error)) {
        std::fprintf(stderr, "velgarde_compare: %s: %s\n", argv[3], error.c_str());
        return 1;
    }
    return 0;
}
