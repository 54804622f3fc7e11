// The real peer: ffmpeg writes YUV4MPEG2, velgarde filters it in a pipe,
// ffmpeg reads the result back and writes it again.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "tests/cli/CliTestUtil.h"

namespace velgarde {
namespace {

using test::Bytes;

const std::string kExe = VELGARDE_EXE;
const std::string kDir = "cli_interop_test.tmp";
const std::string kSource =
    "ffmpeg -v error -f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 10 -strict -1 -f yuv4mpegpipe";

int Bash(const std::string& script) {
    const std::string command = "bash -c 'set -o pipefail; " + script + "'";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class Interop : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        mkdir(kDir.c_str(), 0755);
        ASSERT_EQ(Bash("command -v ffmpeg >/dev/null"), 0) << "ffmpeg is missing: run make deps";
    }
    std::string P(const std::string& name) const { return kDir + "/" + GetParam() + "-" + name; }

    test::ParsedStream Through(const std::string& velgardeOptions, const std::string& name) {
        const std::string pixFmt = GetParam();
        const int status = Bash(kSource + " -pix_fmt " + pixFmt + " - | " + kExe + " -q " +
                                velgardeOptions + " - - | ffmpeg -v error -f yuv4mpegpipe -i - " +
                                "-strict -1 -f yuv4mpegpipe -pix_fmt " + pixFmt + " - >" + P(name));
        EXPECT_EQ(status, 0);
        return test::ParseStream(test::ReadFile(P(name)));
    }
};

TEST_P(Interop, FfmpegPipeKeepsFramesSizeAndChromaAndChangesLuma) {
    ASSERT_EQ(Bash(kSource + " -pix_fmt " + std::string(GetParam()) + " - >" + P("ref.y4m")), 0);
    const auto ref = test::ParseStream(test::ReadFile(P("ref.y4m")));
    ASSERT_TRUE(ref.ok) << ref.error;
    ASSERT_EQ(ref.frames.size(), 10u);

    const auto sharp = Through("", "sharp.y4m");
    ASSERT_TRUE(sharp.ok) << sharp.error;
    ASSERT_EQ(sharp.frames.size(), 10u);
    EXPECT_EQ(sharp.format.width, 640);
    EXPECT_EQ(sharp.format.height, 360);
    EXPECT_EQ(sharp.format.colourSpace, ref.format.colourSpace);
    const std::size_t luma = ref.format.LumaBytes();
    for (std::size_t f = 0; f < 10; ++f) {
        const auto& a = ref.frames[f].data;
        const auto& b = sharp.frames[f].data;
        ASSERT_EQ(a.size(), b.size());
        EXPECT_TRUE(std::equal(a.begin() + luma, a.end(), b.begin() + luma)) << "chroma, frame " << f;
        EXPECT_FALSE(std::equal(a.begin(), a.begin() + luma, b.begin())) << "luma, frame " << f;
    }

    const auto same = Through("--amount-plus 0 --amount-minus 0", "same.y4m");
    ASSERT_TRUE(same.ok) << same.error;
    ASSERT_EQ(same.frames.size(), 10u);
    EXPECT_EQ(same.header, ref.header);
    for (std::size_t f = 0; f < 10; ++f) EXPECT_EQ(same.frames[f].data, ref.frames[f].data) << f;
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, Interop,
                         ::testing::Values("yuv420p", "yuv420p10le", "yuv422p", "gray"),
                         [](const auto& info) { return std::string(info.param); });

// Images written by ffmpeg's encoders go through, and ffmpeg reads the PNGs back.
TEST(InteropImages, FfmpegImagesInAndOut) {
    mkdir(kDir.c_str(), 0755);
    const std::string still = "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x180 -frames:v 1 ";
    struct Case {
        const char* file;
        const char* options;
    } cases[] = {
        {"rgb.png", "-pix_fmt rgb24"},   {"rgba.png", "-pix_fmt rgba"},
        {"grey.png", "-pix_fmt gray"},   {"deep.png", "-pix_fmt rgb48be"},
        {"photo.jpg", "-pix_fmt yuvj420p"}, {"paint.bmp", "-pix_fmt bgr24"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string in = kDir + "/" + c.file, out = in + ".sharp.png";
        ASSERT_EQ(Bash(still + c.options + " " + in), 0);
        const std::string err = in + ".err";
        EXPECT_EQ(Bash(kExe + " " + in + " " + out + " 2>" + err), 0);
        const Bytes messages = test::ReadFile(err);
        const std::string text(messages.begin(), messages.end());
        EXPECT_EQ(text.rfind("velgarde: ", 0), 0u) << text;
        // A 16-bit picture is said to lose its low bits; the others are not.
        EXPECT_EQ(text.find("16-bit image reduced to 8 bits") != std::string::npos,
                  std::string(c.file) == "deep.png") << text;
        EXPECT_EQ(Bash("ffmpeg -v error -i " + out + " -f null -"), 0);
    }
}

}  // namespace
}  // namespace velgarde
