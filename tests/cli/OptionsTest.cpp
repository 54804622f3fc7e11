// Command-line parsing and the progress texts.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/Options.h"
#include "filter/TrackParameters.h"
#include "cli/Progress.h"

namespace velgarde {
namespace {

bool Parse(std::vector<std::string> args, Options* o, std::string* error) {
    return ParseOptions(args, o, error);
}

std::string Error(std::vector<std::string> args) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, &o, &error));
    return error;
}

TEST(Options, DefaultsAreTheTrackTableDefaults) {
    Options o;
    std::string e;
    ASSERT_TRUE(Parse({"in.y4m", "out.y4m"}, &o, &e)) << e;
    EXPECT_EQ(o.tracks, (std::array<std::int32_t, 5>{25, 50, 10, 50, 0}));
    EXPECT_EQ(o.input, "in.y4m");
    EXPECT_EQ(o.output, "out.y4m");
    EXPECT_EQ(o.threads, 0);
    EXPECT_EQ(o.maxFrames, -1);
    EXPECT_FALSE(o.quiet);
    EXPECT_TRUE(o.plugin.empty());
    EXPECT_EQ(o.show, TChangeView::Picture);
}

TEST(Options, EveryTrackAcceptsItsEndsAndRejectsBeyondThem) {
    for (const auto& t : kTrackOptions) {
        const std::string name = std::string("--") + t.name;
        for (std::int32_t v : {t.minimum, t.maximum}) {
            Options o;
            std::string e;
            ASSERT_TRUE(Parse({name, std::to_string(v), "-", "-"}, &o, &e)) << name << " " << v;
            EXPECT_EQ(o.tracks[t.index], v);
            ASSERT_TRUE(Parse({name + "=" + std::to_string(v), "-", "-"}, &o, &e));
            EXPECT_EQ(o.tracks[t.index], v);
        }
        const std::string below = Error({name, std::to_string(t.minimum - 1), "a", "b"});
        EXPECT_EQ(below, name + ": " + std::to_string(t.minimum - 1) + " is outside its range " +
                             std::to_string(t.minimum) + " to " + std::to_string(t.maximum) + " " + t.unit);
        EXPECT_NE(Error({name, std::to_string(t.maximum + 1), "a", "b"}).find("outside its range"),
                  std::string::npos);
    }
}

TEST(Options, ValuesMustBeWholeNumbersInTheirUnitAndAmountsTakeFactorsAndPercent) {
    EXPECT_EQ(Error({"--range", "1.5", "a", "b"}),
              "--range: '1.5' is not a whole number of tenths of a pixel over 0.5 (--radius takes pixels)");
    EXPECT_EQ(Error({"--range=", "a", "b"}),
              "--range: '' is not a whole number of tenths of a pixel over 0.5 (--radius takes pixels)");
    EXPECT_EQ(Error({"--threshold", "12abc", "a", "b"}),
              "--threshold: '12abc' is not a whole number of luma units (4096 is white)");
    // The forms ImageMagick and ffmpeg users type: a factor, or percent.
    for (const auto& [text, percent] : std::vector<std::pair<std::string, int>>{
             {"1.5", 150}, {"150%", 150}, {"150", 150}, {"0.333", 33}, {"2.5%", 3}, {"3.0", 300}, {"0%", 0}}) {
        Options o;
        std::string e;
        ASSERT_TRUE(Parse({"--amount-minus", text, "a", "b"}, &o, &e)) << text << ": " << e;
        EXPECT_EQ(o.tracks[1], percent) << text;
    }
    EXPECT_EQ(Error({"--amount-plus", "3.5", "a", "b"}),
              "--amount-plus: 3.5 is outside its range 0 to 300 % (a factor of 0 to 3)");
    EXPECT_EQ(Error({"--amount-plus", "-0.5", "a", "b"}),
              "--amount-plus: -0.5 is outside its range 0 to 300 % (a factor of 0 to 3)");
    for (const char* junk : {"x", "%", "1e2", "0x10", "1.5.1", "150%%", ""})
        EXPECT_EQ(Error({"--amount-plus", junk, "a", "b"}),
                  std::string("--amount-plus: '") + junk + "' is not an amount: give % (150 or 150%) or a factor (1.5)");
    EXPECT_NE(Error({"--threshold", "99999999999999999999999", "a", "b"}).find("not a whole number"),
              std::string::npos);
    EXPECT_EQ(Error({"a", "b", "--variance"}), "--variance: missing value");
}

TEST(Options, ToolOptions) {
    Options o;
    std::string e;
    ASSERT_TRUE(Parse({"-q", "--threads", "2", "--frames=7", "--plugin", "x.so", "a", "b"}, &o, &e)) << e;
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.threads, 2);
    EXPECT_EQ(o.maxFrames, 7);
    EXPECT_EQ(o.plugin, "x.so");
    EXPECT_NE(Error({"--threads", "-1", "a", "b"}).find("outside its range 0 to 64"), std::string::npos);
    EXPECT_NE(Error({"--frames", "0", "a", "b"}).find("outside its range"), std::string::npos);
    EXPECT_EQ(Error({"--plugin=", "a", "b"}), "--plugin: missing value");
    EXPECT_EQ(Error({"--sharpen", "3", "a", "b"}), "unknown option '--sharpen'");
    EXPECT_EQ(Error({"-x", "a", "b"}), "unknown option '-x'");
    EXPECT_EQ(Error({"a"}), "an input and an output are needed");
    EXPECT_EQ(Error({"a", "b", "c"}), "unexpected argument 'c'");
    // "--" ends the options, so a file may be called "-q".
    ASSERT_TRUE(Parse({"--", "-q", "b"}, &o, &e));
    EXPECT_EQ(o.input, "-q");
    EXPECT_FALSE(o.quiet);
}

TEST(Options, HelpAndVersion) {
    Options o;
    std::string e;
    ASSERT_TRUE(Parse({"-h", "--bogus"}, &o, &e));  // help needs nothing else to be right
    EXPECT_EQ(o.action, Options::Action::Help);
    ASSERT_TRUE(Parse({"--help"}, &o, &e));
    EXPECT_EQ(o.action, Options::Action::Help);
    ASSERT_TRUE(Parse({"--version"}, &o, &e));
    EXPECT_EQ(o.action, Options::Action::Version);

    const std::string help = HelpText();
    for (const char* needle : {"--amount-plus", "--amount-minus", "--range", "--variance",
                               "--threshold", "--threads", "--frames", "--plugin", "-q",
                               "ffmpeg", "yuv4mpegpipe", "0 to 1000, default 0"})
        EXPECT_NE(help.find(needle), std::string::npos) << needle;
}

TEST(Options, BlurInPixelsPresetsAndOutputChoices) {
    // The defaults: sigma 0.8 px cut off at 1.5 px, two taps a side.
    const BlurInPixels def = BlurOfTracks(10, 50);
    EXPECT_NEAR(def.Sigma, 0.80, 0.01);
    EXPECT_EQ(def.Reach, 2);
    Options o;
    std::string e;
    // sigma 1 px to 3 px: the pair that matches a 5x5 unsharp of amount 1.
    ASSERT_TRUE(Parse({"--sigma", "1", "a", "b"}, &o, &e)) << e;
    EXPECT_EQ(o.tracks[2], 25);
    EXPECT_EQ(o.tracks[3], 37);
    EXPECT_NEAR(BlurOfTracks(o.tracks[2], o.tracks[3]).Sigma, 1.0, 0.02);
    ASSERT_TRUE(Parse({"--sigma=2", "--radius=4", "a", "b"}, &o, &e)) << e;
    EXPECT_NEAR(BlurOfTracks(o.tracks[2], o.tracks[3]).Sigma, 2.0, 0.05);
    EXPECT_EQ(BlurOfTracks(o.tracks[2], o.tracks[3]).Radius, 4.0);
    EXPECT_NE(Error({"--sigma", "1", "--range", "5", "a", "b"}).find("give one pair"), std::string::npos);
    EXPECT_EQ(Error({"--sigma", "x", "a", "b"}), "--sigma: 'x' is not a number of pixels");
    // A preset sets all five; named settings win whatever their place.
    ASSERT_TRUE(Parse({"--amount-plus", "7", "--preset", "medium", "a", "b"}, &o, &e)) << e;
    EXPECT_EQ(o.tracks, (std::array<std::int32_t, 5>{7, 100, 25, 37, 0}));
    EXPECT_NE(Error({"--preset", "wild", "a", "b"}).find("not one of light, medium, strong"), std::string::npos);
    ASSERT_TRUE(Parse({"--format", "jpg", "--quality", "70", "--fields", "separate", "--in-place", "a", "b"}, &o, &e));
    EXPECT_EQ(o.format, OutputFormat::Jpeg);
    EXPECT_EQ(o.quality, 70);
    EXPECT_EQ(o.fields, FieldMode::Separate);
    EXPECT_TRUE(o.inPlace);
    EXPECT_NE(Error({"a", "b.gif"}).find("unknown output extension"), std::string::npos);
    EXPECT_TRUE(HelpText().find("track") == std::string::npos);
}

TEST(Options, ShowPicksTheViewAndNeverReplacesTheInput) {
    Options o;
    std::string e;
    ASSERT_TRUE(Parse({"--show", "change", "a", "b"}, &o, &e)) << e;
    EXPECT_EQ(o.show, TChangeView::Change);
    ASSERT_TRUE(Parse({"--show=overlay", "a", "b"}, &o, &e)) << e;
    EXPECT_EQ(o.show, TChangeView::OverPicture);
    EXPECT_EQ(Error({"--show", "mask", "a", "b"}), "--show: 'mask' is not one of picture, change, overlay");
    EXPECT_NE(Error({"--show", "change", "--in-place", "a", "a"}).find("--in-place"), std::string::npos);
    ASSERT_TRUE(Parse({"--show", "picture", "--in-place", "a", "a"}, &o, &e)) << e;
}

TEST(Progress, LineAndSummaryTexts) {
    EXPECT_EQ(FormatProgress(0, -1, 0), "frame 0");
    EXPECT_EQ(FormatProgress(50, -1, 2.0), "frame 50  25.0 fps");
    EXPECT_EQ(FormatProgress(50, 200, 2.0), "frame 50/200  25.0 fps  0:06 left");
    EXPECT_EQ(FormatProgress(200, 200, 8.0), "frame 200/200  25.0 fps  0:00 left");
    EXPECT_EQ(FormatDuration(59.4), "0:59");
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
    EXPECT_EQ(FormatSummary(10, 640, 360, 0.5, false), "velgarde: 10 frames, 640x360, 0.50 s, 20.0 fps");
    EXPECT_EQ(FormatSummary(1, 8, 8, 0.25, false), "velgarde: 1 frame, 8x8, 0.25 s, 4.0 fps");
    EXPECT_EQ(FormatSummary(0, 8, 8, 0.25, false), "velgarde: 0 frames, 8x8, 0.25 s");
    EXPECT_EQ(FormatSummary(1, 640, 400, 0.5, true), "velgarde: 1 image, 640x400, 0.50 s");
}

std::string Captured(std::FILE* f) {
    std::rewind(f);
    std::string text;
    int c;
    while ((c = std::fgetc(f)) != EOF) text += static_cast<char>(c);
    std::fclose(f);
    return text;
}

TEST(Progress, LiveLineRewritesItselfAndClearsBeforeTheSummary) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        Progress p(f, true, false);
        p.Start(3);
        p.Frame(1);  // the first update is always drawn
        p.Frame(2);  // within a quarter second of it: skipped
        p.Finish(true, 3, 8, 4, false);
    }
    const std::string text = Captured(f);
    ASSERT_EQ(text.rfind("\rframe 1/3", 0), 0u) << text;
    EXPECT_EQ(text.find("frame 2/3"), std::string::npos);
    const std::size_t summary = text.find("velgarde: 3 frames, 8x4, ");
    ASSERT_NE(summary, std::string::npos) << text;
    // Blanks over the live line and a carriage return come just before it.
    EXPECT_EQ(text[summary - 1], '\r');
    EXPECT_EQ(text[summary - 2], ' ');
    EXPECT_EQ(text.back(), '\n');
}

TEST(Progress, QuietSaysNothingAndFailuresHaveNoSummary) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        Progress quiet(f, true, true);
        quiet.Start(3);
        quiet.Frame(1);
        quiet.Finish(true, 3, 8, 4, false);
        Progress failed(f, false, false);
        failed.Start(-1);
        failed.Frame(1);
        failed.Finish(false, 1, 8, 4, false);
    }
    EXPECT_EQ(Captured(f), "");
}

}  // namespace
}  // namespace velgarde
