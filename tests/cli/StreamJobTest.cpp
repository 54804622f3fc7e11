// The stream pipeline with stand-in filters, and outputs that appear only
// when complete.
#include <gtest/gtest.h>

#include "tests/cli/FakeProcessors.h"
#include "cli/OutputFile.h"
#include "cli/TemporaryNames.h"
#include "cli/StreamJob.h"
#include "tests/cli/CliTestUtil.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#endif

namespace velgarde {
namespace {

using test::Bytes;

using test::ShiftProcessor;

StreamResult RunJob(const Bytes& in, LumaProcessor& p, Bytes* out, std::int64_t maxFrames = -1) {
    MemorySource source(in.data(), in.size());
    Y4mReader reader(source);
    std::string e;
    EXPECT_TRUE(reader.ReadHeader(&e)) << e;
    MemorySink sink;
    Y4mWriter writer(sink);
    StreamSettings settings;
    settings.maxFrames = maxFrames;
    StreamResult r = RunStream(reader, writer, p, settings, nullptr);
    *out = sink.Bytes();
    return r;
}

TEST(StreamJob, UntouchedLumaGivesTheInputBackForEveryFormat) {
    for (const auto& header : test::AllFormatHeaders(11, 7)) {
        const Bytes in = test::MakeStream(header, 3, " Ib");
        ShiftProcessor identity;
        Bytes out;
        const StreamResult r = RunJob(in, identity, &out);
        EXPECT_EQ(r.failure, StreamResult::Failure::None) << r.error;
        EXPECT_EQ(r.frames, 3);
        EXPECT_EQ(out, in) << header;
    }
}

TEST(StreamJob, LumaChangesAndEverythingElseIsCopied) {
    for (const auto& header : test::AllFormatHeaders(11, 7)) {
        const Bytes in = test::MakeStream(header, 2, " XA=1");
        ShiftProcessor brighter;
        brighter.shift = 100;
        Bytes out;
        ASSERT_EQ(RunJob(in, brighter, &out).failure, StreamResult::Failure::None);
        const auto a = test::ParseStream(in), b = test::ParseStream(out);
        ASSERT_TRUE(b.ok) << b.error;
        EXPECT_EQ(b.header, a.header);
        ASSERT_EQ(b.frames.size(), 2u);
        const std::size_t luma = a.format.LumaBytes();
        for (int f = 0; f < 2; ++f) {
            EXPECT_EQ(b.frames[f].parameters, " XA=1");
            const auto& x = a.frames[f].data;
            const auto& y = b.frames[f].data;
            EXPECT_TRUE(std::equal(x.begin() + luma, x.end(), y.begin() + luma)) << header;
            EXPECT_FALSE(std::equal(x.begin(), x.begin() + luma, y.begin())) << header;
        }
        // Brighter or clamped at the top, never darker.
        const int bytes = a.format.BytesPerSample();
        const auto code = [bytes](const std::vector<std::uint8_t>& d, std::size_t i) {
            return bytes == 1 ? d[i] : d[2 * i] | d[2 * i + 1] << 8;
        };
        for (std::size_t i = 0; i < luma / bytes; ++i)
            ASSERT_GE(code(b.frames[0].data, i), code(a.frames[0].data, i)) << header << " " << i;
    }
}

TEST(StreamJob, FrameLimitStopsEarly) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W4 H4 C444", 5);
    ShiftProcessor identity;
    Bytes out;
    const StreamResult r = RunJob(in, identity, &out, 2);
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(test::ParseStream(out).frames.size(), 2u);
}

TEST(StreamJob, FailuresLeaveOnlyWholeFramesAndSayWhichSide) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W4 H4 C444", 3);
    const std::size_t header = std::string("YUV4MPEG2 W4 H4 C444\n").size();
    const std::size_t frame = 6 + 48;
    // Input cut in frame 3: frames 1 and 2 are out, nothing of frame 3.
    Bytes cut(in.begin(), in.end() - 5);
    ShiftProcessor identity;
    Bytes out;
    StreamResult r = RunJob(cut, identity, &out);
    EXPECT_EQ(r.failure, StreamResult::Failure::Input);
    EXPECT_EQ(r.error, "frame 3: truncated frame data (43 of 48 bytes)");
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(out.size(), header + 2 * frame);
    EXPECT_TRUE(test::ParseStream(out).ok);
    // The filter failing on frame 2.
    ShiftProcessor failing;
    failing.failAt = 2;
    r = RunJob(in, failing, &out);
    EXPECT_EQ(r.failure, StreamResult::Failure::Filter);
    EXPECT_EQ(r.error, "filter refused");
    EXPECT_EQ(r.frames, 1);
    EXPECT_EQ(out.size(), header + frame);
    ShiftProcessor noFrame;
    noFrame.refusePrepare = true;
    r = RunJob(in, noFrame, &out);
    EXPECT_EQ(r.failure, StreamResult::Failure::Filter);
    EXPECT_EQ(r.error, "no frame");
    EXPECT_EQ(out.size(), header);
}

TEST(StreamJob, EstimatesFramesOfARegularFile) {
    Y4mFormat f;
    std::string e;
    ASSERT_TRUE(ParseY4mHeader("YUV4MPEG2 W4 H4 C444", Y4mLimits{}, &f, &e));
    EXPECT_EQ(EstimateFrameCount(21 + 3 * 54, 21, f), 3);
    EXPECT_EQ(EstimateFrameCount(21 + 3 * 54 - 1, 21, f), 2);
    EXPECT_EQ(EstimateFrameCount(10, 21, f), 0);
}

// ---- outputs

std::string TempDir() {
    const std::string dir = "cli_output_test.tmp";
#if defined(_WIN32)
    _mkdir(dir.c_str());
#else
    mkdir(dir.c_str(), 0755);
#endif
    return dir;
}

TEST(OutputFile, AppearsOnlyOnCommit) {
    const std::string path = TempDir() + "/commit.bin";
    std::remove(path.c_str());
    {
        OutputFile out;
        std::string e;
        ASSERT_TRUE(out.Open(path, &e)) << e;
        ASSERT_TRUE(out.Sink().Write("abc", 3));
        EXPECT_FALSE(test::FileExists(path));
        EXPECT_TRUE(test::FileExists(out.TemporaryPath()));
        ASSERT_TRUE(out.Commit(&e)) << e;
    }
    EXPECT_EQ(test::ReadFile(path), (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(TemporariesIn(TempDir()).empty());
}

TEST(OutputFile, AbandonedOutputLeavesTheOldFileAndNoTemporary) {
    const std::string path = TempDir() + "/keep.bin";
    ASSERT_TRUE(test::WriteFile(path, Bytes{'o', 'l', 'd'}));
    {
        OutputFile out;
        std::string e;
        ASSERT_TRUE(out.Open(path, &e)) << e;
        ASSERT_TRUE(out.Sink().Write("new data", 8));
    }  // destroyed without Commit, as after an error
    EXPECT_EQ(test::ReadFile(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(TemporariesIn(TempDir()).empty());
    // Replacing an existing file on commit.
    OutputFile out;
    std::string e;
    ASSERT_TRUE(out.Open(path, &e));
    ASSERT_TRUE(out.Sink().Write("new", 3));
    ASSERT_TRUE(out.Commit(&e)) << e;
    EXPECT_EQ(test::ReadFile(path), (Bytes{'n', 'e', 'w'}));
}

TEST(OutputFile, UnwritablePlacesAreReported) {
    const std::string file = TempDir() + "/plain.bin";
    ASSERT_TRUE(test::WriteFile(file, Bytes{1}));
    OutputFile out;
    std::string e;
    // Through a file as if it were a folder, and into a folder that is not there.
    EXPECT_FALSE(out.Open(file + "/out.y4m", &e));
    EXPECT_EQ(e.rfind("cannot create: ", 0), 0u) << e;
    OutputFile out2;
    EXPECT_FALSE(out2.Open(TempDir() + "/no/such/folder/out.y4m", &e));
    EXPECT_EQ(e.rfind("cannot create: ", 0), 0u) << e;
}

#if !defined(_WIN32)
TEST(OutputFile, DevicesAreWrittenDirectly) {
    OutputFile out;
    std::string e;
    ASSERT_TRUE(out.Open("/dev/null", &e)) << e;
    ASSERT_TRUE(out.Sink().Write("x", 1));
    ASSERT_TRUE(out.Commit(&e)) << e;
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));  // still the device, not a file renamed over it
    // A full device: the error comes at the latest on commit.
    OutputFile full;
    ASSERT_TRUE(full.Open("/dev/full", &e)) << e;
    std::vector<char> block(1 << 21, 'x');
    const bool wrote = full.Sink().Write(block.data(), block.size());
    const bool committed = full.Commit(&e);
    EXPECT_FALSE(wrote && committed);
}
#endif

}  // namespace
}  // namespace velgarde
