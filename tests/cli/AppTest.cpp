// The whole tool in-process over the real plug-in: every format through and
// back, and every kind of bad input, module and output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cli/Files.h"
#include "cli/ImageMetadata.h"

#include "cli/App.h"
#include "demo/DemoScene.h"
#include "cli/ImageIO.h"
#include "cli/OutputFile.h"
#include "cli/LumaMapping.h"
#include "cli/TemporaryNames.h"
#include "tests/cli/CliImages.h"
#include "tests/support/Scratch.h"
#include "tests/support/Model.h"

#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace velgarde {
namespace {

using test::Bytes;

// This case's own scratch folder, fresh for it (set up by the fixture).
std::string kDir;
const std::string kPlugin = PLUGIN_FILE;
const std::string kWrongModule = WRONG_MODULE_FILE;

struct RunResult {
    int status;
    std::string messages;
};

RunResult Velgarde(std::vector<std::string> args, bool withPlugin = true, AppContext context = {}) {
    if (withPlugin) args.insert(args.begin(), {"--plugin", kPlugin});
    const std::string log = kDir + "/messages.txt";
    std::FILE* messages = std::fopen(log.c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    context.messages = messages;
    const int status = RunVelgarde(args, context);
    std::fclose(messages);
    const Bytes text = test::ReadFile(log);
    return {status, std::string(text.begin(), text.end())};
}

class App : public ::testing::Test {
protected:
    void SetUp() override { kDir = velgarde_test::FreshScratchFolder(); }
    std::string Path(const std::string& name) const { return kDir + "/" + name; }
};

Image Decode(const Bytes& bytes) {
    Image img;
    std::string e;
    EXPECT_TRUE(DecodeImage(bytes, ImageLimits{}, &img, &e)) << e;
    return img;
}

// Settings for the cases checked against the scalar model: strong enough that
// every rounding shows.
const std::int32_t kModelTracks[5] = {150, 120, 25, 40, 3};
const std::vector<std::string> kModelOptions = {"--amount-plus", "150", "--amount-minus", "120", "--range",
                                                "25", "--variance", "40", "--threshold", "3"};

// `rows` rows of luma codes, `stride` bytes apart, through the scalar model
// as the tool maps codes to the filter's units and back.
void ModelRows(const Y4mFormat& format, std::uint8_t* codes, std::ptrdiff_t stride, int rows) {
    const LumaMapping mapping(format.bitDepth, format.fullRange);
    const int w = format.width, bytes = format.BytesPerSample();
    std::vector<std::int16_t> frame(static_cast<std::size_t>(w) * rows * 3, 0);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* c = codes + y * stride + x * bytes;
            frame[(static_cast<std::size_t>(y) * w + x) * 3] = mapping.ToHost(bytes == 1 ? c[0] : c[0] | c[1] << 8);
        }
    velgarde_test::ModelFrame(kModelTracks, frame.data(), w, rows, w);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* c = codes + y * stride + x * bytes;
            const unsigned v = mapping.FromHost(frame[(static_cast<std::size_t>(y) * w + x) * 3]);
            c[0] = static_cast<std::uint8_t>(v);
            if (bytes == 2) c[1] = static_cast<std::uint8_t>(v >> 8);
        }
}

// A stream as the model sharpens it: each frame whole, or its two fields
// apart where `fields[f]` says so.
test::Bytes ModelStream(const test::Bytes& in, const std::vector<bool>& fields) {
    test::ParsedStream s = test::ParseStream(in);
    EXPECT_TRUE(s.ok) << s.error;
    test::Bytes out;
    test::Append(&out, s.header + "\n");
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{s.format.width} * s.format.BytesPerSample();
    for (std::size_t f = 0; f < s.frames.size(); ++f) {
        std::uint8_t* luma = s.frames[f].data.data();
        if (f < fields.size() && fields[f]) {
            ModelRows(s.format, luma, 2 * rowBytes, (s.format.height + 1) / 2);
            ModelRows(s.format, luma + rowBytes, 2 * rowBytes, s.format.height / 2);
        } else {
            ModelRows(s.format, luma, rowBytes, s.format.height);
        }
        test::Append(&out, "FRAME" + s.frames[f].parameters + "\n");
        out.insert(out.end(), s.frames[f].data.begin(), s.frames[f].data.end());
    }
    return out;
}

RunResult VelgardeModelled(std::vector<std::string> args) {
    args.insert(args.begin(), kModelOptions.begin(), kModelOptions.end());
    return Velgarde(args);
}

TEST_F(App, EveryStreamFormatComesBackByteForByteWithBothAmountsZero) {
    std::vector<std::string> headers = test::AllFormatHeaders(37, 23);
    headers.push_back("YUV4MPEG2 W64 H48 F30000:1001 It A128:117 C420mpeg2 XUNKNOWN=tag");
    for (const auto& header : headers) {
        const Bytes in = test::MakeStream(header, 2, " Ib");
        ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
        const RunResult r = Velgarde({"--amount-plus", "0", "--amount-minus", "0", "--range", "30",
                                      "-q", Path("in.y4m"), Path("out.y4m")});
        ASSERT_EQ(r.status, 0) << header << ": " << r.messages;
        EXPECT_EQ(r.messages, "");
        EXPECT_EQ(test::ReadFile(Path("out.y4m")), in) << header;
    }
}

TEST_F(App, DefaultSettingsSharpenLumaAndCopyEverythingElse) {
    for (const auto& header : test::AllFormatHeaders(37, 23)) {
        const Bytes in = test::MakeStream(header, 2, " XFRAMETAG=1");
        ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
        const RunResult r = Velgarde({Path("in.y4m"), Path("out.y4m")});
        ASSERT_EQ(r.status, 0) << r.messages;
        // The summary, on one line, as stderr here is not a terminal.
        EXPECT_EQ(r.messages.rfind("velgarde: 2 frames, 37x23, ", 0), 0u) << r.messages;
        const auto a = test::ParseStream(in), b = test::ParseStream(test::ReadFile(Path("out.y4m")));
        ASSERT_TRUE(b.ok) << b.error;
        EXPECT_EQ(b.header, a.header);
        ASSERT_EQ(b.frames.size(), 2u);
        const std::size_t luma = a.format.LumaBytes();
        for (int f = 0; f < 2; ++f) {
            const auto& x = a.frames[f].data;
            const auto& y = b.frames[f].data;
            EXPECT_EQ(b.frames[f].parameters, " XFRAMETAG=1");
            EXPECT_TRUE(std::equal(x.begin() + luma, x.end(), y.begin() + luma)) << header;
            std::size_t changed = 0;
            for (std::size_t i = 0; i < luma; ++i) changed += x[i] != y[i];
            EXPECT_GT(changed, luma / 10) << header;
        }
    }
}

TEST_F(App, ThreadCountDoesNotChangeTheResultAndFramesLimits) {
    // Rows and row parts that no thread count divides: every count gives the
    // model's frames, 8-bit and 10-bit, whole frames and fields.
    for (const char* header : {"YUV4MPEG2 W43 H61 C420jpeg", "YUV4MPEG2 W43 H61 It C420p10 XYSCSS=420P10"}) {
        const Bytes in = test::MakeStream(header, 2);
        ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
        const bool fields = std::string(header).find(" It ") != std::string::npos;
        const Bytes expected = ModelStream(in, {fields, fields});
        for (const char* threads : {"1", "2", "3", "5", "7"}) {
            const RunResult r = VelgardeModelled({"--threads", threads, "-q", Path("in.y4m"), Path("out.y4m")});
            ASSERT_EQ(r.status, 0) << r.messages;
            EXPECT_EQ(test::ReadFile(Path("out.y4m")), expected) << header << ", " << threads << " threads";
        }
    }
    const Bytes in = test::MakeStream("YUV4MPEG2 W96 H61 C420jpeg", 4);
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
    ASSERT_EQ(Velgarde({"--frames", "3", "-q", Path("in.y4m"), Path("three.y4m")}).status, 0);
    EXPECT_EQ(test::ParseStream(test::ReadFile(Path("three.y4m"))).frames.size(), 3u);
}

TEST_F(App, ImagesOfEveryKindComeBackUnchangedWithBothAmountsZero) {
    const Image scene = DemoScene();
    std::vector<std::pair<std::string, Image>> images;
    images.push_back({"rgb.png", scene});
    for (int channels : {1, 2, 4}) {
        Image img(96, 40, channels);
        for (std::size_t i = 0; i < img.pixels.size(); ++i)
            img.pixels[i] = static_cast<std::uint8_t>(i * 7 % 251);
        images.push_back({"c" + std::to_string(channels) + ".png", img});
    }
    for (const auto& [name, img] : images) {
        MemorySink png;
        std::string e;
        ASSERT_TRUE(EncodePng(img, png, &e));
        ASSERT_TRUE(test::WriteFile(Path(name), png.Bytes()));
        RunResult r = Velgarde({"--amount-plus=0", "--amount-minus=0", "-q", Path(name), Path("out.png")});
        ASSERT_EQ(r.status, 0) << r.messages;
        EXPECT_EQ(Decode(test::ReadFile(Path("out.png"))).pixels, img.pixels) << name;
        // With the defaults the luma changes, and alpha stays as it was.
        r = Velgarde({"-q", Path(name), Path("sharp.png")});
        ASSERT_EQ(r.status, 0) << r.messages;
        const Image sharp = Decode(test::ReadFile(Path("sharp.png")));
        ASSERT_EQ(sharp.channels, img.channels);
        EXPECT_NE(sharp.pixels, img.pixels) << name;
        if (img.channels % 2 == 0) {
            for (std::size_t i = img.channels - 1; i < img.pixels.size(); i += img.channels)
                ASSERT_EQ(sharp.pixels[i], img.pixels[i]) << name;
        }
    }
}

TEST_F(App, DemoInputIsWrittenAndSharpened) {
    ASSERT_TRUE(test::WriteFile(Path("demo.png"), test::DemoPng()));
    const RunResult r = Velgarde({Path("demo.png"), Path("demo-sharp.png")});
    ASSERT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(r.messages.rfind("velgarde: 1 image, 640x400, ", 0), 0u) << r.messages;
}

// One line naming the file, a failure status, and no output.
void ExpectCleanFailure(const RunResult& r, const std::string& name, const std::string& problem) {
    EXPECT_EQ(r.status, 1) << r.messages;
    EXPECT_EQ(r.messages.rfind("velgarde: " + name + ": ", 0), 0u) << r.messages;
    EXPECT_NE(r.messages.find(problem), std::string::npos) << r.messages;
    EXPECT_EQ(std::count(r.messages.begin(), r.messages.end(), '\n'), 1) << r.messages;
}

TEST_F(App, BadInputsFailCleanlyAndLeaveTheOutputAlone) {
    const Bytes good = test::MakeStream("YUV4MPEG2 W16 H8 C420jpeg", 3);
    MemorySink png;
    std::string e;
    ASSERT_TRUE(EncodePng(DemoScene(), png, &e));
    const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    struct Case {
        const char* what;
        Bytes input;
        const char* problem;
    } cases[] = {
        {"truncated header", text("YUV4MPEG2 W16 H8"), "truncated header"},
        {"malformed header", text("YUV4MPEG2 W16 Hx\n"), "bad height tag"},
        {"no size", text("YUV4MPEG2 C420\n"), "no width"},
        {"colour space", text("YUV4MPEG2 W16 H8 C410\nFRAME\n"), "unsupported colour space"},
        {"bit depth", text("YUV4MPEG2 W16 H8 C420p16\nFRAME\n"), "unsupported bit depth 16"},
        {"absurd size", text("YUV4MPEG2 W100000 H100000\nFRAME\n"), "unsupported frame size"},
        {"first frame cut", Bytes(good.begin(), good.begin() + 40), "frame 1: truncated frame data"},
        {"first marker", [&] { Bytes b = good; b[26] = 'G'; return b; }(), "frame 1: missing FRAME marker"},
        {"empty", Bytes{}, "empty input"},
        {"not media", text("hello, world\n"), "not a YUV4MPEG2 stream or an image velgarde reads"},
        {"corrupt image", Bytes(png.Bytes().begin(), png.Bytes().begin() + 2000), "truncated PNG: the file ends after row"},
    };
    ASSERT_EQ(std::string(good.begin() + 26, good.begin() + 32), "FRAME\n");
    const Bytes previous = text("previous output");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::WriteFile(Path("bad.in"), c.input));
        // A fresh output path is not created...
        std::remove(Path("new").c_str());
        ExpectCleanFailure(Velgarde({Path("bad.in"), Path("new")}), Path("bad.in"), c.problem);
        EXPECT_FALSE(test::FileExists(Path("new")));
        EXPECT_TRUE(TemporariesIn(kDir).empty());
        // ...and an existing one keeps what it held.
        ASSERT_TRUE(test::WriteFile(Path("old"), previous));
        ExpectCleanFailure(Velgarde({Path("bad.in"), Path("old")}), Path("bad.in"), c.problem);
        EXPECT_EQ(test::ReadFile(Path("old")), previous);
    }
    ExpectCleanFailure(Velgarde({Path("no-such-file.y4m"), Path("new")}),
                       Path("no-such-file.y4m"), "cannot open");
    // A folder opens on some systems and fails at the first read on others.
    ExpectCleanFailure(Velgarde({kDir, Path("new")}), kDir, "");
    EXPECT_FALSE(test::FileExists(Path("new")));
}

TEST_F(App, MissingOrWrongModulesAreNamed) {
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 1)));
    std::remove(Path("out.y4m").c_str());
    const std::string missing = Path("NoSuchPlugin.auf");
    ExpectCleanFailure(Velgarde({"--plugin", missing, Path("in.y4m"), Path("out.y4m")}, false),
                       missing, "cannot load");
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
    // A file that is no module at all, and a module that is another filter.
    ExpectCleanFailure(Velgarde({"--plugin", Path("in.y4m"), Path("in.y4m"), Path("out.y4m")}, false),
                       Path("in.y4m"), "cannot load");
    const RunResult r = Velgarde({"--plugin", kWrongModule, Path("in.y4m"), Path("out.y4m")}, false);
    ExpectCleanFailure(r, kWrongModule, "not the Velgarde filter");
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
}

TEST_F(App, UnwritableOutputsAreNamed) {
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 1)));
    const std::string throughFile = Path("in.y4m") + "/out.y4m";
    ExpectCleanFailure(Velgarde({Path("in.y4m"), throughFile}), throughFile, "cannot create");
    const std::string noFolder = Path("missing-folder/out.png");
    ASSERT_TRUE(test::WriteFile(Path("in.png"), test::DemoPng()));
    ExpectCleanFailure(Velgarde({Path("in.png"), noFolder}), noFolder, "cannot create");
}

TEST_F(App, UsageErrorsExitWithTwoAndTouchNothing) {
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 1)));
    std::remove(Path("out.y4m").c_str());
    RunResult r = Velgarde({"--amount-plus", "301", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.messages.rfind("velgarde: --amount-plus: 301 is outside its range 0 to 300 %\n", 0), 0u)
        << r.messages;
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
    r = Velgarde({"--range", "0", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
}

// ---- nothing lost

TEST_F(App, TheSameFileAsInputAndOutputIsRefusedUnlessInPlace) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 2);
    ASSERT_TRUE(test::WriteFile(Path("same.y4m"), in));
    RunResult r = Velgarde({Path("same.y4m"), Path("same.y4m")});
    EXPECT_EQ(r.status, ExitUsage) << r.messages;
    EXPECT_NE(r.messages.find("is the input file; give --in-place"), std::string::npos) << r.messages;
    EXPECT_EQ(test::ReadFile(Path("same.y4m")), in);
    // Another spelling of the same file.
    r = Velgarde({Path("same.y4m"), kDir + "/./same.y4m"});
    EXPECT_EQ(r.status, ExitUsage) << r.messages;
#if !defined(_WIN32)
    std::remove(Path("alias.y4m").c_str());
    ASSERT_EQ(symlink("same.y4m", Path("alias.y4m").c_str()), 0);
    EXPECT_EQ(Velgarde({Path("alias.y4m"), Path("same.y4m")}).status, ExitUsage);
    EXPECT_EQ(test::ReadFile(Path("same.y4m")), in);
#endif
    // Asked for: replaced through a temporary file, and sharpened.
    r = Velgarde({"--in-place", "-q", Path("same.y4m"), Path("same.y4m")});
    EXPECT_EQ(r.status, ExitOk) << r.messages;
    const auto out = test::ParseStream(test::ReadFile(Path("same.y4m")));
    ASSERT_EQ(out.frames.size(), 2u);
    EXPECT_NE(out.frames[0].data, test::ParseStream(in).frames[0].data);
    EXPECT_TRUE(TemporariesIn(kDir).empty());
}

TEST_F(App, ADamagedTailKeepsEveryGoodFrameAndSaysSo) {
    const Bytes good = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 3);
    ASSERT_TRUE(test::WriteFile(Path("good.y4m"), good));
    ASSERT_EQ(Velgarde({"-q", Path("good.y4m"), Path("good-out.y4m")}).status, ExitOk);
    const auto whole = test::ParseStream(test::ReadFile(Path("good-out.y4m")));
    struct Case {
        const char* what;
        Bytes input;
        std::size_t frames;
        const char* problem;
    } cases[] = {
        {"cut last frame", Bytes(good.begin(), good.end() - 1), 2, "frame 3: truncated frame data (767 of 768 bytes)"},
        {"one stray byte", [&] { Bytes b = good; b.push_back('\n'); return b; }(), 3, "frame 4: missing FRAME marker"},
        {"a marker cut", [&] { Bytes b = good; test::Append(&b, "FRA"); return b; }(), 3, "frame 4: truncated FRAME marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::WriteFile(Path("damaged.y4m"), c.input));
        ASSERT_TRUE(test::WriteFile(Path("kept.y4m"), test::Bytes{'o', 'l', 'd'}));
        const RunResult r = Velgarde({Path("damaged.y4m"), Path("kept.y4m")});
        EXPECT_EQ(r.status, ExitDamagedInput) << r.messages;
        EXPECT_NE(r.messages.find("velgarde: " + Path("damaged.y4m") + ": " + c.problem), std::string::npos)
            << r.messages;
        EXPECT_NE(r.messages.find(std::to_string(c.frames) + " good frames before it were written to " +
                                  Path("kept.y4m")),
                  std::string::npos) << r.messages;
        const auto kept = test::ParseStream(test::ReadFile(Path("kept.y4m")));
        ASSERT_TRUE(kept.ok) << kept.error;
        ASSERT_EQ(kept.frames.size(), c.frames);
        for (std::size_t f = 0; f < c.frames; ++f) EXPECT_EQ(kept.frames[f].data, whole.frames[f].data);
    }
}

#if !defined(_WIN32)
TEST_F(App, AnExistingOutputKeepsItsModeAndALinkIsWrittenThrough) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W16 H8", 1);
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
    ASSERT_TRUE(test::WriteFile(Path("target.y4m"), test::Bytes{'o', 'l', 'd'}));
    ASSERT_EQ(chmod(Path("target.y4m").c_str(), 0640), 0);
    std::remove(Path("link.y4m").c_str());
    ASSERT_EQ(symlink("target.y4m", Path("link.y4m").c_str()), 0);
    ASSERT_EQ(Velgarde({"-q", Path("in.y4m"), Path("link.y4m")}).status, ExitOk);
    struct stat st;
    ASSERT_EQ(lstat(Path("link.y4m").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(Path("target.y4m").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(test::ParseStream(test::ReadFile(Path("target.y4m"))).frames.size(), 1u);
    // A link to a file that does not exist yet creates that file.
    std::remove(Path("later.y4m").c_str());
    std::remove(Path("dangling.y4m").c_str());
    ASSERT_EQ(symlink("later.y4m", Path("dangling.y4m").c_str()), 0);
    ASSERT_EQ(Velgarde({"-q", Path("in.y4m"), Path("dangling.y4m")}).status, ExitOk);
    EXPECT_EQ(test::ParseStream(test::ReadFile(Path("later.y4m"))).frames.size(), 1u);
}
#endif

TEST_F(App, LiveProgressStaysOffWhenStdoutFeedsAnotherProgram) {
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 2)));
    AppContext terminal;
    terminal.messagesAreTerminal = true;
    EXPECT_NE(Velgarde({Path("in.y4m"), Path("out.y4m")}, true, terminal).messages.find('\r'), std::string::npos);
    terminal.stdoutIsPipe = true;
    const RunResult piped = Velgarde({Path("in.y4m"), Path("out.y4m")}, true, terminal);
    EXPECT_EQ(piped.messages.find('\r'), std::string::npos) << piped.messages;
    EXPECT_EQ(piped.messages.rfind("velgarde: 2 frames", 0), 0u) << piped.status << piped.messages;
    EXPECT_NE(Velgarde({"--progress", Path("in.y4m"), Path("out.y4m")}, true, terminal).messages.find('\r'),
              std::string::npos);
}

// ---- formats by name

TEST_F(App, TheOutputFormatFollowsTheName) {
    ASSERT_TRUE(test::WriteFile(Path("scene.png"), test::DemoPng()));
    const std::pair<const char*, Bytes> expected[] = {
        {"out.png", {0x89, 'P', 'N', 'G'}}, {"out.JPG", {0xff, 0xd8, 0xff}},
        {"out.jpeg", {0xff, 0xd8, 0xff}}, {"out.bmp", {'B', 'M'}}, {"out", {0x89, 'P', 'N', 'G'}}};
    for (const auto& [name, magic] : expected) {
        const RunResult r = Velgarde({"-q", Path("scene.png"), Path(name)});
        ASSERT_EQ(r.status, ExitOk) << name << ": " << r.messages;
        const Bytes out = test::ReadFile(Path(name));
        ASSERT_GE(out.size(), magic.size());
        EXPECT_TRUE(std::equal(magic.begin(), magic.end(), out.begin())) << name;
    }
    // --format overrides the name; --quality reaches the JPEG encoder.
    ASSERT_EQ(Velgarde({"-q", "--format", "jpeg", "--quality", "20", Path("scene.png"), Path("small.png")}).status, ExitOk);
    ASSERT_EQ(Velgarde({"-q", "--quality", "100", Path("scene.png"), Path("large.jpg")}).status, ExitOk);
    EXPECT_EQ(test::ReadFile(Path("small.png"))[0], 0xff);
    EXPECT_LT(test::ReadFile(Path("small.png")).size() * 2, test::ReadFile(Path("large.jpg")).size());
    // A kind the input cannot become, or a name that is no format: usage errors.
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 1)));
    RunResult r = Velgarde({Path("in.y4m"), Path("frame.png")});
    EXPECT_EQ(r.status, ExitUsage);
    EXPECT_NE(r.messages.find("the input is a YUV4MPEG2 stream, which is written as .y4m or as a video file (.mp4, .mov, .mkv"), std::string::npos) << r.messages;
    r = Velgarde({Path("scene.png"), Path("scene.y4m")});
    EXPECT_EQ(r.status, ExitUsage);
    EXPECT_NE(r.messages.find("the input is an image"), std::string::npos) << r.messages;
    r = Velgarde({Path("scene.png"), Path("scene.tiff")});
    EXPECT_EQ(r.status, ExitUsage);
    EXPECT_NE(r.messages.find("unknown output extension"), std::string::npos) << r.messages;
    EXPECT_FALSE(test::FileExists(Path("frame.png")) || test::FileExists(Path("scene.y4m")));
}

Image Deep(int w, int h, int channels) {
    Image img(w, h, channels, 16);
    for (std::size_t i = 0; i < img.pixels16.size(); ++i)
        img.pixels16[i] = static_cast<std::uint16_t>((i * 7919 + (i / 3) * 104729) % 65536);
    return img;
}

TEST_F(App, SixteenBitPngStaysSixteenBitAndUnchangedSettingsGiveItBackBitForBit) {
    for (int channels : {1, 2, 3, 4}) {
        SCOPED_TRACE(channels);
        const Image deep = Deep(48, 20, channels);
        ASSERT_TRUE(test::WriteFile(Path("deep.png"), test::PngOf(deep)));
        RunResult r = Velgarde({"-q", "--amount-plus", "0", "--amount-minus", "0", Path("deep.png"), Path("same.png")});
        ASSERT_EQ(r.status, ExitOk) << r.messages;
        const Image same = test::DecodeBytes(test::ReadFile(Path("same.png")));
        EXPECT_EQ(same.bitDepth, 16);
        EXPECT_EQ(same.pixels16, deep.pixels16);
        r = Velgarde({Path("deep.png"), Path("sharp.png")});
        ASSERT_EQ(r.status, ExitOk) << r.messages;
        EXPECT_NE(r.messages.find("16-bit"), std::string::npos) << r.messages;
        const Image sharp = test::DecodeBytes(test::ReadFile(Path("sharp.png")));
        EXPECT_EQ(sharp.bitDepth, 16);
        EXPECT_NE(sharp.pixels16, deep.pixels16);
        // Alpha as it was; values between 8-bit steps survive.
        std::size_t fine = 0;
        for (std::size_t i = 0; i < sharp.pixels16.size(); ++i) {
            if (channels % 2 == 0 && i % channels == static_cast<std::size_t>(channels - 1)) {
                ASSERT_EQ(sharp.pixels16[i], deep.pixels16[i]);
            }
            fine += sharp.pixels16[i] % 257 != 0;
        }
        EXPECT_GT(fine, sharp.pixels16.size() / 2);
    }
}

// A 16-bit picture as the model sharpens it: luma (0.299 R + 0.587 G +
// 0.114 B) in the filter's units, the model's change to it, and that change
// in 16-bit codes added to every colour channel.
Image ModelImage16(const Image& in) {
    const int w = in.width, h = in.height, c = in.channels;
    const bool colour = c >= 3;
    std::vector<std::int16_t> frame(static_cast<std::size_t>(w) * h * 3, 0);
    std::vector<std::int16_t> before(in.PixelCount());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::uint16_t* p = &in.pixels16[i * c];
        const double grey = colour ? 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2] : p[0];
        before[i] = frame[i * 3] = static_cast<std::int16_t>(std::lround(grey * 4096 / 65535));
    }
    velgarde_test::ModelFrame(kModelTracks, frame.data(), w, h, w);
    Image out = in;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const int change = frame[i * 3] - before[i];
        const long code = std::lround(std::abs(change) * 65535.0 / 4096) * (change < 0 ? -1 : 1);
        for (int k = 0; k < (colour ? 3 : 1); ++k) {
            std::uint16_t& v = out.pixels16[i * c + k];
            v = static_cast<std::uint16_t>(std::clamp<long>(v + code, 0, 65535));
        }
    }
    return out;
}

TEST_F(App, SixteenBitImagesAreSharpenedAsTheModel) {
    for (int channels : {1, 3, 4}) {
        SCOPED_TRACE(channels);
        // Smooth shapes with fine detail, well inside the code range.
        Image img(45, 23, channels, 16);
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                for (int k = 0; k < channels; ++k)
                    img.pixels16[(static_cast<std::size_t>(y) * img.width + x) * channels + k] =
                        static_cast<std::uint16_t>(12000 + ((x / 4 + y / 3) % 5) * 9000 + (x * 37 + y * 101 + k * 53) % 1700);
        ASSERT_TRUE(test::WriteFile(Path("deep.png"), test::PngOf(img)));
        const RunResult r = VelgardeModelled({"-q", Path("deep.png"), Path("deep-sharp.png")});
        ASSERT_EQ(r.status, ExitOk) << r.messages;
        const Image sharp = test::DecodeBytes(test::ReadFile(Path("deep-sharp.png")));
        ASSERT_EQ(sharp.bitDepth, 16);
        const Image expected = ModelImage16(img);
        EXPECT_NE(expected.pixels16, img.pixels16);
        EXPECT_EQ(sharp.pixels16, expected.pixels16);
    }
}

ImageMetadata SampleMetadata(int orientation) {
    ImageMetadata meta;
    // A profile's header: its size, and its signature at 36.
    for (int i = 0; i < 3000; ++i) meta.icc.push_back(static_cast<std::uint8_t>(i * 13));
    meta.icc[0] = 0, meta.icc[1] = 0, meta.icc[2] = 3000 >> 8, meta.icc[3] = 3000 & 255;
    std::memcpy(&meta.icc[36], "acsp", 4);
    // Little-endian TIFF, IFD0 with one entry: orientation.
    meta.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
                 static_cast<std::uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
    meta.orientation = orientation;
    meta.xPerMetre = meta.yPerMetre = 11811;  // 300 dpi
    return meta;
}

TEST_F(App, IccProfileResolutionAndExifGoAlongAndOrientationIsApplied) {
    Image tall(20, 30, 3);
    for (std::size_t i = 0; i < tall.pixels.size(); ++i) tall.pixels[i] = static_cast<std::uint8_t>(i * 5);
    ASSERT_TRUE(test::WriteFile(Path("meta.png"), test::PngOf(tall, SampleMetadata(6))));
    for (const char* name : {"meta-out.png", "meta-out.jpg"}) {
        SCOPED_TRACE(name);
        const RunResult r = Velgarde({"-q", Path("meta.png"), Path(name)});
        ASSERT_EQ(r.status, ExitOk) << r.messages;
        const Bytes out = test::ReadFile(Path(name));
        const ImageMetadata m = out[0] == 0xff ? ReadJpegMetadata(out) : ReadPngMetadata(out);
        EXPECT_EQ(m.icc, SampleMetadata(6).icc);
        EXPECT_NEAR(m.xPerMetre, 11811.0, 20.0);
        EXPECT_NEAR(m.yPerMetre, 11811.0, 20.0);
        ASSERT_EQ(m.exif.size(), SampleMetadata(6).exif.size());
        EXPECT_EQ(m.orientation, 1);  // applied, so no longer to be applied again
        // Rotated a quarter turn clockwise: 30 wide, 20 high.
        const Image img = test::DecodeBytes(out);
        EXPECT_EQ(img.width, 30);
        EXPECT_EQ(img.height, 20);
    }
    // BMP holds the resolution only.
    ASSERT_EQ(Velgarde({"-q", Path("meta.png"), Path("meta-out.bmp")}).status, ExitOk);
    const Bytes bmp = test::ReadFile(Path("meta-out.bmp"));
    ASSERT_GE(bmp.size(), 46u);
    EXPECT_EQ(bmp[38] | bmp[39] << 8, 11811);
    // JPEG in, with the metadata in its segments, to PNG.
    ASSERT_TRUE(test::WriteFile(Path("meta-in.jpg"), test::ReadFile(Path("meta-out.jpg"))));
    ASSERT_EQ(Velgarde({"-q", Path("meta-in.jpg"), Path("from-jpeg.png")}).status, ExitOk);
    const ImageMetadata m = ReadPngMetadata(test::ReadFile(Path("from-jpeg.png")));
    EXPECT_EQ(m.icc, SampleMetadata(6).icc);
    EXPECT_FALSE(m.exif.empty());
}

DecodedImage DecodeFull(const Bytes& bytes) {
    DecodedImage d;
    std::string e;
    EXPECT_TRUE(DecodeImage(bytes, ImageLimits{}, &d, &e)) << e;
    return d;
}

TEST_F(App, AJpegKeepsItsSourcesCodingAndOtherInputsGetFullChroma) {
    // A 4:2:2 source at quality 97.
    JpegCoding sampling;
    sampling.present = true;
    sampling.components = 3;
    sampling.hSampling = {2, 1, 1, 0};
    sampling.vSampling = {1, 1, 1, 0};
    EncodeSettings settings;
    settings.quality = 97;
    settings.source = &sampling;
    MemorySink source;
    std::string e;
    ASSERT_TRUE(EncodeImage(DemoScene(), {}, OutputFormat::Jpeg, settings, source, &e)) << e;
    ASSERT_TRUE(test::WriteFile(Path("camera.jpg"), source.Bytes()));
    const DecodedImage in = DecodeFull(source.Bytes());
    ASSERT_EQ(in.jpeg.SamplingName(), "4:2:2");
    EXPECT_EQ(in.jpeg.quality, 97);

    RunResult r = Velgarde({Path("camera.jpg"), Path("same-coding.jpg")});
    ASSERT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_NE(r.messages.find("JPEG coded as its source (quality about 97, 4:2:2)"), std::string::npos) << r.messages;
    const DecodedImage out = DecodeFull(test::ReadFile(Path("same-coding.jpg")));
    EXPECT_EQ(out.jpeg.SamplingName(), "4:2:2");
    EXPECT_EQ(out.jpeg.tables, in.jpeg.tables);
    // --quality sets the tables; the sampling stays the source's.
    ASSERT_EQ(Velgarde({"-q", "--quality", "80", Path("camera.jpg"), Path("q80.jpg")}).status, ExitOk);
    const DecodedImage q80 = DecodeFull(test::ReadFile(Path("q80.jpg")));
    EXPECT_EQ(q80.jpeg.quality, 80);
    EXPECT_EQ(q80.jpeg.SamplingName(), "4:2:2");
    // A picture from elsewhere: full chroma at the default quality.
    ASSERT_TRUE(test::WriteFile(Path("scene.png"), test::DemoPng()));
    r = Velgarde({Path("scene.png"), Path("from-png.jpg")});
    ASSERT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_NE(r.messages.find("JPEG quality 92, 4:4:4"), std::string::npos) << r.messages;
    const DecodedImage png = DecodeFull(test::ReadFile(Path("from-png.jpg")));
    EXPECT_EQ(png.jpeg.SamplingName(), "4:4:4");
    EXPECT_EQ(png.jpeg.quality, 92);
}

TEST_F(App, ATruncatedJpegIsCalledSoAndQualitySaysWhenItDoesNothing) {
    MemorySink sink;
    std::string e;
    ASSERT_TRUE(EncodeImage(DemoScene(), {}, OutputFormat::Jpeg, 90, sink, &e)) << e;
    const Bytes whole = sink.Bytes();
    ASSERT_TRUE(test::WriteFile(Path("cut.jpg"), Bytes(whole.begin(), whole.begin() + whole.size() / 2)));
    std::remove(Path("cut.png").c_str());
    RunResult r = Velgarde({Path("cut.jpg"), Path("cut.png")});
    EXPECT_EQ(r.status, ExitFailure);
    EXPECT_NE(r.messages.find("cut.jpg: truncated JPEG: the file ends after row "), std::string::npos) << r.messages;
    EXPECT_FALSE(test::FileExists(Path("cut.png")));
    ASSERT_TRUE(test::WriteFile(Path("whole.jpg"), whole));
    r = Velgarde({"--quality", "80", Path("whole.jpg"), Path("whole.png")});
    EXPECT_EQ(r.status, ExitOk);
    EXPECT_NE(r.messages.find("--quality: does nothing for PNG output: it sets the JPEG quality"),
              std::string::npos)
        << r.messages;
}

TEST(Orientation, EveryExifOrientationStandsThePictureUpright) {
    // A 3x2 picture whose pixels are their own indices.
    const auto make = [] {
        Image img(3, 2, 1);
        for (int i = 0; i < 6; ++i) img.pixels[i] = static_cast<std::uint8_t>(i);
        return img;
    };
    const std::vector<std::uint8_t> upright[9] = {
        {}, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {5, 4, 3, 2, 1, 0}, {3, 4, 5, 0, 1, 2},
        {0, 3, 1, 4, 2, 5}, {3, 0, 4, 1, 5, 2}, {5, 2, 4, 1, 3, 0}, {2, 5, 1, 4, 0, 3}};
    for (int o = 1; o <= 8; ++o) {
        Image img = make();
        ApplyOrientation(&img, o);
        EXPECT_EQ(img.width, o >= 5 ? 2 : 3) << o;
        EXPECT_EQ(img.pixels, upright[o]) << o;
    }
}

TEST_F(App, GifTgaAndPnmAreRead) {
    // A 1x1 GIF, its image block twice: two frames.
    const Bytes head = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 255, 255, 0, 0, 0};
    const Bytes block = {0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0};
    Bytes gif = head;
    gif.insert(gif.end(), block.begin(), block.end());
    gif.insert(gif.end(), block.begin(), block.end());
    gif.push_back(0x3b);
    ASSERT_TRUE(test::WriteFile(Path("two.gif"), gif));
    RunResult r = Velgarde({Path("two.gif"), Path("gif.png")});
    EXPECT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_NE(r.messages.find("GIF of 2 frames: only the first is sharpened"), std::string::npos) << r.messages;
    Bytes pnm = {'P', '6', '\n', '4', ' ', '2', '\n', '2', '5', '5', '\n'};
    for (int i = 0; i < 24; ++i) pnm.push_back(static_cast<std::uint8_t>(i * 10));
    ASSERT_TRUE(test::WriteFile(Path("in.ppm"), pnm));
    r = Velgarde({"-q", "--amount-plus", "0", "--amount-minus", "0", Path("in.ppm"), Path("ppm.png")});
    EXPECT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_EQ(test::DecodeBytes(test::ReadFile(Path("ppm.png"))).pixels, Bytes(pnm.end() - 24, pnm.end()));
    // An uncompressed 2x1 true-colour TGA, bottom-up, BGR.
    const Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 10, 20, 30, 40, 50, 60};
    ASSERT_TRUE(test::WriteFile(Path("in.tga"), tga));
    r = Velgarde({"-q", "--amount-plus", "0", "--amount-minus", "0", Path("in.tga"), Path("tga.png")});
    EXPECT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_EQ(test::DecodeBytes(test::ReadFile(Path("tga.png"))).pixels, (Bytes{30, 20, 10, 60, 50, 40}));
}

// ---- interlaced streams

TEST_F(App, InterlacedStreamsAreSharpenedPerField) {
    // Two flat fields of different brightness: per field nothing changes;
    // across fields the comb is an edge on every line.
    const int w = 32, h = 16;
    Bytes in;
    test::Append(&in, "YUV4MPEG2 W32 H16 F25:1 It C444\n");
    for (int f = 0; f < 2; ++f) {
        test::Append(&in, "FRAME\n");
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) in.push_back(y % 2 ? 160 : 90);
        in.insert(in.end(), 2 * w * h, 128);
    }
    ASSERT_TRUE(test::WriteFile(Path("comb.y4m"), in));
    RunResult r = Velgarde({Path("comb.y4m"), Path("fields.y4m")});
    ASSERT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_NE(r.messages.find(", per field"), std::string::npos) << r.messages;
    EXPECT_EQ(test::ReadFile(Path("fields.y4m")), in);
    r = Velgarde({"-q", "--fields", "progressive", Path("comb.y4m"), Path("frames.y4m")});
    ASSERT_EQ(r.status, ExitOk) << r.messages;
    EXPECT_NE(test::ReadFile(Path("frames.y4m")), in);
    // A progressive stream whose frames say they are interlaced (Ixyz tags).
    Bytes tagged = in;
    tagged[25] = 'm';  // the header's It becomes Im
    ASSERT_TRUE(test::WriteFile(Path("mixed.y4m"), tagged));
    ASSERT_EQ(Velgarde({"-q", Path("mixed.y4m"), Path("mixed-out.y4m")}).status, ExitOk);
    EXPECT_NE(test::ReadFile(Path("mixed-out.y4m")), tagged);  // no frame tags: progressive
    ASSERT_EQ(Velgarde({"-q", "--fields", "separate", Path("mixed.y4m"), Path("mixed-sep.y4m")}).status, ExitOk);
    EXPECT_EQ(test::ReadFile(Path("mixed-sep.y4m")), tagged);
}

TEST_F(App, FieldsFollowTheFramesOwnTagsOverTheHeadersAndOddHeightsMatchTheModel) {
    struct Case {
        const char* header;
        std::vector<std::string> frameTags;
        std::vector<bool> fields;
    };
    // 23 rows: a top field of 12 and a bottom field of 11.
    const Case cases[] = {
        {"YUV4MPEG2 W37 H23 Ib C420jpeg", {"", ""}, {true, true}},
        {"YUV4MPEG2 W37 H23 Ip C420jpeg", {" Itip", ""}, {true, false}},
        {"YUV4MPEG2 W37 H23 It C420jpeg", {" Itpp", ""}, {false, true}},
        {"YUV4MPEG2 W37 H23 Im C420jpeg", {" Ibip", " Ibpp"}, {true, false}},
        {"YUV4MPEG2 W37 H23 It C444p12 XYSCSS=444P12", {" Itpp XA=1", " XA=2"}, {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        Bytes in;
        for (std::size_t f = 0; f < c.frameTags.size(); ++f) {
            const Bytes one = test::MakeStream(c.header, 1, c.frameTags[f], static_cast<std::uint32_t>(f + 7));
            in.insert(in.end(), f == 0 ? one.begin() : std::search(one.begin(), one.end(), std::begin("FRAME"), std::end("FRAME") - 1), one.end());
        }
        ASSERT_TRUE(test::WriteFile(Path("tags.y4m"), in));
        const RunResult r = VelgardeModelled({"-q", Path("tags.y4m"), Path("tags-out.y4m")});
        ASSERT_EQ(r.status, ExitOk) << r.messages;
        EXPECT_EQ(test::ReadFile(Path("tags-out.y4m")), ModelStream(in, c.fields));
    }
}

}  // namespace
}  // namespace velgarde
