// The YUV4MPEG2 header parser, frame reader and writer.
#include <gtest/gtest.h>

#include "cli/Y4mFormat.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "tests/cli/CliTestUtil.h"

namespace velgarde {
namespace {

using test::Bytes;

Y4mFormat Parse(const std::string& line, std::string* error = nullptr, Y4mLimits limits = {}) {
    Y4mFormat f;
    std::string e;
    f.width = -1;
    if (!ParseY4mHeader(line, limits, &f, &e)) f.width = -1;
    if (error != nullptr) *error = e;
    return f;
}

std::string ParseError(const std::string& line) {
    std::string error;
    Y4mFormat f;
    EXPECT_FALSE(ParseY4mHeader(line, Y4mLimits{}, &f, &error)) << line;
    return error;
}

TEST(Y4mHeader, PlaneSizesForEveryLayoutIncludingOddSizes) {
    struct Case {
        const char* c;
        int depth;
        std::size_t frameBytes;  // for 5x3
    } cases[] = {
        {"420jpeg", 8, 15 + 2 * 3 * 2}, {"420paldv", 8, 15 + 12},  {"420mpeg2", 8, 15 + 12},
        {"420", 8, 15 + 12},            {"411", 8, 15 + 2 * 2 * 3}, {"422", 8, 15 + 2 * 3 * 3},
        {"444", 8, 45},                 {"444alpha", 8, 60},        {"mono", 8, 15},
        {"420p10", 10, 2 * 27},         {"422p10", 10, 2 * 33},     {"444p12", 12, 2 * 45},
        {"mono12", 12, 30},             {"mono10", 10, 30},         {"420p12", 12, 54},
    };
    for (const auto& c : cases) {
        const Y4mFormat f = Parse(std::string("YUV4MPEG2 W5 H3 C") + c.c);
        ASSERT_EQ(f.width, 5) << c.c;
        EXPECT_EQ(f.height, 3);
        EXPECT_EQ(f.bitDepth, c.depth) << c.c;
        EXPECT_EQ(f.FrameBytes(), c.frameBytes) << c.c;
        EXPECT_EQ(f.LumaBytes(), 15u * f.BytesPerSample());
    }
}

TEST(Y4mHeader, DefaultsAndTags) {
    Y4mFormat f = Parse("YUV4MPEG2 W640 H360");
    EXPECT_EQ(f.chroma, ChromaLayout::C420);  // no C tag: 4:2:0
    EXPECT_EQ(f.bitDepth, 8);
    EXPECT_FALSE(f.fullRange);
    f = Parse("YUV4MPEG2 W640 H360 F30000:1001 It A128:117 Cmono XCOLORRANGE=FULL XFOO=bar Zunknown");
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.chroma, ChromaLayout::Mono);
    EXPECT_TRUE(f.fullRange);
    // Repeated spaces, as ffmpeg tolerates them.
    EXPECT_EQ(Parse("YUV4MPEG2  W8   H2 ").width, 8);
    // Unknown rate and aspect are written as 0:0 by some tools.
    EXPECT_EQ(Parse("YUV4MPEG2 W8 H2 F0:0 A0:0 I?").width, 8);
}

TEST(Y4mHeader, MalformedHeadersAreRejectedWithTheReason) {
    EXPECT_NE(ParseError("YUV4MPEG W8 H8").find("not a YUV4MPEG2"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2W8 H8").find("not a YUV4MPEG2"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 H8").find("no width"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8").find("no height"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W H8").find("bad width"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W-8 H8").find("bad width"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8x H8").find("bad width"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H+8").find("bad height"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 W8 H8").find("more than one W"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 C420 C444").find("more than one C"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 F25").find("frame rate"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 F25:x").find("frame rate"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 A1").find("aspect"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 Ix").find("interlacing"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 Ipp").find("interlacing"), std::string::npos);
    EXPECT_NE(ParseError(std::string("YUV4MPEG2 W8 H8 X\x01")).find("control character"),
              std::string::npos);
}

TEST(Y4mHeader, UnsupportedColourSpacesAndDepthsAreNamed) {
    std::string e = ParseError("YUV4MPEG2 W8 H8 C410");
    EXPECT_NE(e.find("unsupported colour space '410'"), std::string::npos) << e;
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 C").find("unsupported colour space"), std::string::npos);
    EXPECT_NE(ParseError("YUV4MPEG2 W8 H8 C420JPEG").find("unsupported colour space"),
              std::string::npos);
    for (const char* c : {"420p9", "422p14", "444p16", "mono16", "mono9"}) {
        e = ParseError(std::string("YUV4MPEG2 W8 H8 C") + c);
        EXPECT_NE(e.find("unsupported bit depth"), std::string::npos) << c << ": " << e;
    }
}

TEST(Y4mHeader, AbsurdSizesAreRejectedBeforeAnyAllocation) {
    for (const char* line : {"YUV4MPEG2 W0 H8", "YUV4MPEG2 W8 H0", "YUV4MPEG2 W16385 H8",
                             "YUV4MPEG2 W8 H99999999999999999999999", "YUV4MPEG2 W4294967295 H1",
                             "YUV4MPEG2 W16384 H16384"}) {
        const std::string e = ParseError(line);
        EXPECT_NE(e.find("unsupported frame size"), std::string::npos) << line << ": " << e;
    }
    EXPECT_EQ(Parse("YUV4MPEG2 W16384 H4096").width, 16384);  // at the limit
    EXPECT_EQ(Parse("YUV4MPEG2 W1 H1").width, 1);
}

// ---- frames

Y4mReader::Result ReadAllFrames(const Bytes& bytes, int* frames, std::string* error,
                                Y4mLimits limits = {}) {
    MemorySource source(bytes.data(), bytes.size());
    Y4mReader reader(source, limits);
    *frames = 0;
    if (!reader.ReadHeader(error)) return Y4mReader::Result::Error;
    Y4mFrame frame;
    for (;;) {
        const auto r = reader.ReadFrame(&frame, error);
        if (r != Y4mReader::Result::Frame) return r;
        ++*frames;
    }
}

std::string StreamError(const Bytes& bytes) {
    int frames = 0;
    std::string error;
    EXPECT_EQ(ReadAllFrames(bytes, &frames, &error), Y4mReader::Result::Error);
    return error;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Y4mReader, ReadsFramesWithParametersAndEndsCleanly) {
    const Bytes bytes = test::MakeStream("YUV4MPEG2 W6 H4 C420jpeg", 3, " Ib XFOO=1");
    const auto p = test::ParseStream(bytes);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.frames.size(), 3u);
    EXPECT_EQ(p.frames[1].parameters, " Ib XFOO=1");
    EXPECT_EQ(p.frames[1].data.size(), 24u + 2 * 6);
    // A header alone is a valid stream of no frames.
    const auto empty = test::ParseStream(Text("YUV4MPEG2 W6 H4\n"));
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.frames.empty());
}

TEST(Y4mReader, TruncatedAndMalformedHeaders) {
    MemorySource none(nullptr, 0);
    Y4mReader emptyReader(none);
    std::string e;
    EXPECT_FALSE(emptyReader.ReadHeader(&e));
    EXPECT_EQ(e, "empty input");
    EXPECT_NE(StreamError(Text("YUV4MPEG2 W6 H4")).find("truncated header"), std::string::npos);
    EXPECT_NE(StreamError(Text("YUV4MP")).find("not a YUV4MPEG2"), std::string::npos);
    EXPECT_NE(StreamError(Text("\x89PNG\r\n\x1a\n")).find("not a YUV4MPEG2"), std::string::npos);
    // A header that never ends is cut off at the limit, not read forever.
    Bytes endless = Text("YUV4MPEG2 W6 H4 X");
    endless.resize(100000, 'a');
    EXPECT_NE(StreamError(endless).find("no end of line"), std::string::npos);
}

TEST(Y4mReader, BadFramesNameTheFrameAndTheProblem) {
    const Bytes good = test::MakeStream("YUV4MPEG2 W6 H4 C444", 2);
    const std::size_t header = std::string("YUV4MPEG2 W6 H4 C444\n").size();
    const std::size_t frame = 6 + 72;
    ASSERT_EQ(good.size(), header + 2 * frame);

    // Data cut inside the second frame.
    Bytes cut(good.begin(), good.end() - 10);
    std::string e = StreamError(cut);
    EXPECT_EQ(e, "frame 2: truncated frame data (62 of 72 bytes)");
    // Cut inside the FRAME marker and inside its line.
    cut.assign(good.begin(), good.begin() + header + frame + 3);
    EXPECT_EQ(StreamError(cut), "frame 2: truncated FRAME marker");
    Bytes params = test::MakeStream("YUV4MPEG2 W6 H4 C444", 1, " Ib");
    params.resize(header + 7);
    EXPECT_EQ(StreamError(params), "frame 1: truncated FRAME line");
    // Missing marker: junk where a frame should start, or stray bytes at the end.
    Bytes junk = good;
    junk[header + frame] = 'X';
    EXPECT_EQ(StreamError(junk), "frame 2: missing FRAME marker");
    Bytes trailing = good;
    trailing.push_back('\n');
    EXPECT_EQ(StreamError(trailing), "frame 3: missing FRAME marker");
    Bytes glued = good;
    glued[header + 5] = 'S';  // "FRAMES..."
    EXPECT_EQ(StreamError(glued), "frame 1: malformed FRAME marker");
    // One frame too long: the extra byte becomes a bad marker.
    Bytes longer = good;
    longer.insert(longer.begin() + header + frame, 0x10);
    EXPECT_EQ(StreamError(longer), "frame 2: missing FRAME marker");
    // Endless frame parameters.
    Bytes endless = Text("YUV4MPEG2 W6 H4\nFRAME ");
    endless.resize(10000, 'x');
    EXPECT_NE(StreamError(endless).find("FRAME parameters longer than"), std::string::npos);
}

TEST(Y4mWriter, WritesBackWhatWasReadByteForByte) {
    for (const auto& header : test::AllFormatHeaders(7, 5)) {
        const Bytes in = test::MakeStream(header, 2, " Ib");
        ASSERT_FALSE(in.empty()) << header;
        const auto p = test::ParseStream(in);
        ASSERT_TRUE(p.ok) << header << ": " << p.error;
        MemorySink sink;
        Y4mWriter writer(sink);
        std::string e;
        ASSERT_TRUE(writer.WriteHeader(p.header, &e));
        for (const auto& f : p.frames) ASSERT_TRUE(writer.WriteFrame(f, &e));
        EXPECT_EQ(sink.Bytes(), in) << header;
    }
}

TEST(Y4mWriter, ReportsSinkFailures) {
    struct FailingSink : ByteSink {
        bool Write(const void*, std::size_t) override { return false; }
        std::string Error() const override { return "No space left on device"; }
    } sink;
    Y4mWriter writer(sink);
    std::string e;
    EXPECT_FALSE(writer.WriteHeader("YUV4MPEG2 W2 H2", &e));
    EXPECT_EQ(e, "write failed: No space left on device");
}

}  // namespace
}  // namespace velgarde
