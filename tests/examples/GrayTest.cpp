// velgarde_gray, the one-file front end: the tool's bytes for the same grey
// picture, frame after frame, and the tool's handling of a cut input.
#include <gtest/gtest.h>

#include "cli/ImageIO.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/Scratch.h"

namespace velgarde {
namespace {

TEST(Gray, FramesComeOutAsTheToolSharpensTheSamePicture) {
    const std::string dir = velgarde_test::FreshScratchFolder();
    // Two 37x23 frames with edges and noise.
    Image frames[2] = {Image(37, 23, 1), Image(37, 23, 1)};
    std::string raw;
    for (int f = 0; f < 2; ++f) {
        for (std::size_t i = 0; i < frames[f].pixels.size(); ++i)
            frames[f].pixels[i] = static_cast<std::uint8_t>(((i % 37) / 5 + f) % 2 * 160 + (i * 7919 % 61));
        raw.append(frames[f].pixels.begin(), frames[f].pixels.end());
    }
    velgarde_test::Program gray({GRAY_EXE, "--preset", "medium", "--amount-minus", "1.5", "37x23", "-", "-"});
    gray.input = raw;
    const velgarde_test::ProgramResult r = velgarde_test::RunProgram(gray);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("velgarde_gray: 2 frames, 37x23, ", 0), 0u) << r.err;
    ASSERT_EQ(r.out.size(), raw.size());
    for (int f = 0; f < 2; ++f) {
        MemorySink png;
        std::string error;
        ASSERT_TRUE(EncodePng(frames[f], png, &error)) << error;
        ASSERT_TRUE(velgarde_test::WriteWholeFile(dir + "/frame.png", std::string(png.Bytes().begin(), png.Bytes().end())));
        const auto tool = velgarde_test::RunProgram(
            {{VELGARDE_EXE, "-q", "--preset", "medium", "--amount-minus", "150", dir + "/frame.png", dir + "/sharp.png"}});
        ASSERT_EQ(tool.status, 0) << tool.err;
        Image sharp;
        const std::string file = velgarde_test::ReadWholeFile(dir + "/sharp.png");
        ASSERT_TRUE(DecodeImage(std::vector<std::uint8_t>(file.begin(), file.end()), ImageLimits{}, &sharp, &error))
            << error;
        EXPECT_EQ(std::string(sharp.pixels.begin(), sharp.pixels.end()), r.out.substr(f * raw.size() / 2, raw.size() / 2))
            << "frame " << f;
        EXPECT_NE(sharp.pixels, frames[f].pixels);
    }
    // A cut second frame: the first is kept, status 3.
    velgarde_test::Program cut({GRAY_EXE, "--preset", "medium", "--amount-minus", "150%", "37x23", "-", dir + "/out.raw"});
    cut.input = raw.substr(0, raw.size() - 5);
    const auto c = velgarde_test::RunProgram(cut);
    EXPECT_EQ(c.status, 3) << c.err;
    EXPECT_EQ(c.err, "velgarde_gray: stdin: frame 2: cut short; the 1 whole frames before it were written\n");
    EXPECT_EQ(velgarde_test::ReadWholeFile(dir + "/out.raw"), r.out.substr(0, raw.size() / 2));
}

}  // namespace
}  // namespace velgarde
