// The real peer: ffmpeg writes YUV4MPEG2, velgarde filters it in a pipe,
// ffmpeg reads the result back and writes it again.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "cli/ImageIO.h"
#include "cli/Options.h"
#include "tests/cli/CliTestUtil.h"
#include "tests/support/Scratch.h"

namespace velgarde {
namespace {

using test::Bytes;

const std::string kExe = VELGARDE_EXE;
// This case's own scratch folder, fresh for it.
std::string kDir;
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
        kDir = velgarde_test::FreshScratchFolder();
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

// Images written by ffmpeg's encoders go through, and ffmpeg reads the results back.
TEST(InteropImages, FfmpegImagesInAndOut) {
    kDir = velgarde_test::FreshScratchFolder();
    const std::string still = "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x180 -frames:v 1 ";
    struct Case {
        const char* file;
        const char* options;
        const char* out;
    } cases[] = {
        {"rgb.png", "-pix_fmt rgb24", "png"},  {"rgba.png", "-pix_fmt rgba", "png"},
        {"grey.png", "-pix_fmt gray", "jpg"},  {"deep.png", "-pix_fmt rgb48be", "png"},
        {"photo.jpg", "-pix_fmt yuvj420p", "jpg"}, {"paint.bmp", "-pix_fmt bgr24", "bmp"},
        {"still.gif", "", "png"},              {"paint.tga", "-pix_fmt bgr24", "png"},
        {"grey.pgm", "-pix_fmt gray", "png"},  {"rgb.ppm", "-pix_fmt rgb24", "jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string in = kDir + "/" + c.file, out = in + ".sharp." + c.out;
        ASSERT_EQ(Bash(still + c.options + " " + in), 0);
        const std::string err = in + ".err";
        EXPECT_EQ(Bash(kExe + " " + in + " " + out + " 2>" + err), 0);
        const Bytes messages = test::ReadFile(err);
        const std::string text(messages.begin(), messages.end());
        EXPECT_EQ(text.rfind("velgarde: 1 image, 320x180", 0), 0u) << text;
        EXPECT_EQ(Bash("ffmpeg -v error -i " + out + " -f null -"), 0);
        // A 16-bit picture stays 16-bit.
        Image image;
        std::string e;
        ASSERT_TRUE(DecodeImage(test::ReadFile(out), ImageLimits{}, &image, &e)) << e;
        EXPECT_EQ(image.bitDepth, std::string(c.file) == "deep.png" ? 16 : 8);
    }
}

// The pipelines of --help, as written, with small stand-ins for in.mp4 and in.mkv.
TEST(InteropImages, HelpExamplesRunAsWritten) {
    kDir = velgarde_test::FreshScratchFolder();
    const std::string dir = kDir + "/examples";
    mkdir(dir.c_str(), 0755);
    // With sound, which the examples keep.
    const std::string source = "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x180:rate=25 -f lavfi -i "
                               "sine=r=48000 -frames:v 5 -t 0.2 ";
    ASSERT_EQ(Bash("cd " + dir + " && " + source + "-c:v libx264 in.mp4 && " + source + "-c:v ffv1 in.mkv"), 0);
    // Joined continuation lines; each example starting with ffmpeg is one pipeline.
    std::string help = HelpText(), joined;
    for (std::size_t i = 0; i < help.size(); ++i) {
        if (help[i] == '|' && help.compare(i + 1, 7, "\n      ") == 0) {
            joined += "| ";
            i += 7;
        } else {
            joined += help[i];
        }
    }
    int run = 0;
    std::size_t at = 0;
    while ((at = joined.find("\n  ffmpeg ", at)) != std::string::npos) {
        const std::size_t end = joined.find('\n', at + 1);
        std::string line = joined.substr(at + 3, end - at - 3);
        at = end;
        for (std::size_t p; (p = line.find(" velgarde ")) != std::string::npos;)
            line.replace(p + 1, 8, kExe);
        SCOPED_TRACE(line);
        EXPECT_EQ(Bash("cd " + dir + " && rm -f out.mp4 out.mkv && { " + line + "; } 2>/dev/null && "
                       "ffmpeg -v error -i out.* -f null - && "
                       "test \"$(ffprobe -v error -select_streams a -show_entries stream=codec_type -of csv=p=0 out.*)\" = audio"), 0);
        ++run;
    }
    EXPECT_EQ(run, 2);
}
}  // namespace
}  // namespace velgarde
