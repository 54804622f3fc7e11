// The whole tool in-process over the real plug-in: every format through and
// back, and every kind of bad input, module and output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "host/velgarde/App.h"
#include "host/velgarde/DemoScene.h"
#include "host/velgarde/ImageIO.h"
#include "host/velgarde/OutputFile.h"
#include "tests/cli/CliTestUtil.h"

#if defined(_WIN32)
#include <direct.h>
#endif

namespace velgarde {
namespace {

using test::Bytes;

const std::string kDir = "cli_app_test.tmp";
const std::string kPlugin = PLUGIN_FILE;
const std::string kWrongModule = WRONG_MODULE_FILE;

struct RunResult {
    int status;
    std::string messages;
};

RunResult Velgarde(std::vector<std::string> args, bool withPlugin = true) {
    if (withPlugin) args.insert(args.begin(), {"--plugin", kPlugin});
    const std::string log = kDir + "/messages.txt";
    std::FILE* messages = std::fopen(log.c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    AppContext context;
    context.messages = messages;
    const int status = RunVelgarde(args, context);
    std::fclose(messages);
    const Bytes text = test::ReadFile(log);
    return {status, std::string(text.begin(), text.end())};
}

class App : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(_WIN32)
        _mkdir(kDir.c_str());
#else
        mkdir(kDir.c_str(), 0755);
#endif
    }
    std::string Path(const std::string& name) const { return kDir + "/" + name; }
};

Image Decode(const Bytes& bytes) {
    Image img;
    bool reduced = false;
    std::string e;
    EXPECT_TRUE(DecodeImage(bytes, ImageLimits{}, &img, &reduced, &e)) << e;
    return img;
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
    const Bytes in = test::MakeStream("YUV4MPEG2 W96 H61 C420jpeg", 4);
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), in));
    ASSERT_EQ(Velgarde({"--threads", "1", "-q", Path("in.y4m"), Path("one.y4m")}).status, 0);
    ASSERT_EQ(Velgarde({"--threads", "2", "-q", Path("in.y4m"), Path("two.y4m")}).status, 0);
    EXPECT_EQ(test::ReadFile(Path("one.y4m")), test::ReadFile(Path("two.y4m")));
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
    ASSERT_EQ(Velgarde({"--write-demo-input", Path("demo.png")}, false).status, 0);
    const Image demo = Decode(test::ReadFile(Path("demo.png")));
    EXPECT_EQ(demo.pixels, DemoScene().pixels);
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
        {"truncated frame", Bytes(good.begin(), good.end() - 1), "frame 3: truncated frame data"},
        {"missing marker", [&] { Bytes b = good; b[26 + 198] = 'G'; return b; }(),
         "frame 2: missing FRAME marker"},
        {"empty", Bytes{}, "empty input"},
        {"not media", text("hello, world\n"), "not a YUV4MPEG2 stream or a PNG, JPEG or BMP image"},
        {"corrupt image", Bytes(png.Bytes().begin(), png.Bytes().begin() + 2000), "corrupt image"},
    };
    ASSERT_EQ(std::string(good.begin() + 26, good.begin() + 32), "FRAME\n");
    const Bytes previous = text("previous output");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::WriteFile(Path("bad.in"), c.input));
        // A fresh output path is not created...
        std::remove(Path("new.out").c_str());
        ExpectCleanFailure(Velgarde({Path("bad.in"), Path("new.out")}), Path("bad.in"), c.problem);
        EXPECT_FALSE(test::FileExists(Path("new.out")));
        EXPECT_FALSE(test::FileExists(OutputFile::TemporaryPath(Path("new.out"))));
        // ...and an existing one keeps what it held.
        ASSERT_TRUE(test::WriteFile(Path("old.out"), previous));
        ExpectCleanFailure(Velgarde({Path("bad.in"), Path("old.out")}), Path("bad.in"), c.problem);
        EXPECT_EQ(test::ReadFile(Path("old.out")), previous);
    }
    ExpectCleanFailure(Velgarde({Path("no-such-file.y4m"), Path("new.out")}),
                       Path("no-such-file.y4m"), "cannot open");
    // A folder opens on some systems and fails at the first read on others.
    ExpectCleanFailure(Velgarde({kDir, Path("new.out")}), kDir, "");
    EXPECT_FALSE(test::FileExists(Path("new.out")));
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
    ASSERT_TRUE(test::WriteFile(Path("in.png"), [] {
        MemorySink png;
        std::string e;
        EncodePng(DemoScene(), png, &e);
        return png.Bytes();
    }()));
    ExpectCleanFailure(Velgarde({Path("in.png"), noFolder}), noFolder, "cannot create");
}

TEST_F(App, UsageErrorsExitWithTwoAndTouchNothing) {
    ASSERT_TRUE(test::WriteFile(Path("in.y4m"), test::MakeStream("YUV4MPEG2 W16 H8", 1)));
    std::remove(Path("out.y4m").c_str());
    RunResult r = Velgarde({"--amount-plus", "301", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.messages.rfind("velgarde: --amount-plus: 301 is outside its range 0 to 300\n", 0), 0u)
        << r.messages;
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
    r = Velgarde({"--range", "0", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(test::FileExists(Path("out.y4m")));
}

}  // namespace
}  // namespace velgarde
