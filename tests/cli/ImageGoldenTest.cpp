// The decoded pixels of the image corpus, pinned by digest: the same on
// every target, whichever build of the image libraries it links (Debian's
// with SIMD, or third_party's in plain C).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "cli/ImageIO.h"

namespace velgarde {
namespace {

struct CorpusFile {
    const char* name;
    std::vector<std::uint8_t> bytes;
};
const std::vector<CorpusFile>& Corpus() {
    static const std::vector<CorpusFile> files = {
#include "ImageCorpus.inc"
    };
    return files;
}

// FNV-1a over the size, the layout and every sample.
std::uint64_t Digest(const Image& img) {
    std::uint64_t h = 14695981039346656037ull;
    const auto add = [&](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h = (h ^ ((v >> (8 * i)) & 0xff)) * 1099511628211ull;
    };
    add(static_cast<std::uint64_t>(img.width), 4), add(static_cast<std::uint64_t>(img.height), 4);
    add(static_cast<std::uint64_t>(img.channels), 1), add(static_cast<std::uint64_t>(img.bitDepth), 1);
    for (auto v : img.pixels) add(v, 1);
    for (auto v : img.pixels16) add(v, 2);
    return h;
}

const std::map<std::string, std::uint64_t> kDigests = {
#include "tests/cli/ImageGoldenDigests.inc"
};

TEST(ImageGolden, EveryCorpusFileDecodesToItsDigest) {
    ASSERT_GE(Corpus().size(), 10u);
    for (const CorpusFile& f : Corpus()) {
        SCOPED_TRACE(f.name);
        Image img;
        std::string e;
        ASSERT_TRUE(DecodeImage(f.bytes, ImageLimits{}, &img, &e)) << e;
        char line[96];
        std::snprintf(line, sizeof line, "{\"%s\", 0x%016llxull},", f.name, static_cast<unsigned long long>(Digest(img)));
        const auto it = kDigests.find(f.name);
        if (it == kDigests.end())
            ADD_FAILURE() << "not in tests/cli/ImageGoldenDigests.inc: " << line;
        else
            EXPECT_EQ(it->second, Digest(img)) << line;
    }
}

}  // namespace
}  // namespace velgarde
