// Video files through the tool and the real ffmpeg: containers with sound,
// subtitles, chapters and tags made here, the same luma as the stream path,
// damaged files, an interrupt under a terminal, and the messages.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/TemporaryNames.h"
#include "tests/cli/CliTestUtil.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/Scratch.h"

namespace velgarde {
namespace {

using velgarde_test::Program;
using velgarde_test::ProgramResult;

const std::string kExe = VELGARDE_EXE;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class VideoFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = velgarde_test::FreshScratchFolder();
        ASSERT_EQ(Sh("command -v ffmpeg && command -v ffprobe").status, 0) << "ffmpeg is missing: run make deps";
    }
    std::string P(const std::string& name) const { return dir_ + "/" + name; }
    ProgramResult Sh(const std::string& command) const {
        return velgarde_test::RunProgram({{"/bin/sh", "-c", "cd '" + dir_ + "' && " + command}});
    }
    std::string ShOut(const std::string& command) const { return Sh(command).out; }
    ProgramResult Velgarde(std::vector<std::string> args) const {
        args.insert(args.begin(), kExe);
        return velgarde_test::RunProgram({args});
    }
    // A clip with sound, subtitles, chapters and tags, as a camera or an
    // editor would leave one.
    void MakeClip(const std::string& name, const std::string& video, int frames = 12,
                  const std::string& size = "64x48") const {
        const std::string metadata =
            ";FFMETADATA1\ntitle=Harbour at dusk\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=200\ntitle=Boats\n"
            "[CHAPTER]\nTIMEBASE=1/1000\nSTART=200\nEND=480\ntitle=Lights\n";
        ASSERT_TRUE(test::WriteFile(P("meta.txt"), test::Bytes(metadata.begin(), metadata.end())));
        const std::string srt = "1\n00:00:00,000 --> 00:00:00,300\nAhoy\n";
        ASSERT_TRUE(test::WriteFile(P("subs.srt"), test::Bytes(srt.begin(), srt.end())));
        const bool mp4 = name.substr(name.size() - 4) == ".mp4";
        const ProgramResult r = Sh(
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=25 -f lavfi -i sine=r=48000 -i subs.srt "
            "-i meta.txt -map 0:v -map 1:a -map 2:s -map_metadata 3 -map_chapters 3 -frames:v " +
            std::to_string(frames) + " -t " + std::to_string(frames / 25.0) + " " + video +
            " -c:a " + (mp4 ? "aac" : "flac") + " -c:s " + (mp4 ? "mov_text" : "srt") +
            " -metadata:s:a:0 language=fra " + name);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // The output's streams, chapters and tags as ffprobe lists them.
    std::string Describe(const std::string& name) const {
        return ShOut("ffprobe -v error -show_entries stream=codec_type,codec_name,pix_fmt:stream_tags=language:"
                     "format_tags=title:chapter_tags=title -of compact=p=0 " + name);
    }
    std::string AudioDigest(const std::string& name) const {
        return ShOut("ffmpeg -v error -i " + name + " -map 0:a -c copy -f md5 -");
    }

    std::string dir_;
};

TEST_F(VideoFile, SoundSubtitlesChaptersAndTagsStayAsTheyWere) {
    MakeClip("clip.mp4", "-c:v libx264 -pix_fmt yuv420p");
    for (const char* out : {"sharp.mp4", "sharp.mkv"}) {
        SCOPED_TRACE(out);
        const ProgramResult r = Velgarde({P("clip.mp4"), P(out)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.err, "velgarde: 12 frames, 64x48, ")) << r.err;
        EXPECT_TRUE(Contains(r.err, "encoded as H.264 (libx264, CRF 18, yuv420p), the input's own codec")) << r.err;
        const std::string d = Describe(out);
        EXPECT_TRUE(Contains(d, "codec_name=h264|codec_type=video|pix_fmt=yuv420p")) << d;
        EXPECT_TRUE(Contains(d, "codec_name=aac|codec_type=audio|tag:language=fra")) << d;
        // MP4's text subtitles become Matroska's own.
        const bool mp4 = std::string(out).find(".mp4") != std::string::npos;
        EXPECT_TRUE(Contains(d, std::string("codec_name=") + (mp4 ? "mov_text" : "subrip"))) << d;
        EXPECT_TRUE(Contains(d, "tag:title=Boats") && Contains(d, "tag:title=Lights")) << d;
        EXPECT_TRUE(Contains(d, "tag:title=Harbour at dusk")) << d;
        // The sound's packets, unchanged.
        EXPECT_EQ(AudioDigest(out), AudioDigest("clip.mp4"));
        EXPECT_EQ(ShOut("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames "
                        "-of csv=p=0 " + std::string(out)),
                  "12\n");
    }
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

// For the same decoded frames the video path gives the stream path's bytes:
// checked through a lossless output, which also shows the depth and the
// losslessness of the input kept.
TEST_F(VideoFile, TheSameLumaAsTheStreamPathAtTheInputsDepthAndLosslessly) {
    MakeClip("deep.mkv", "-c:v ffv1 -pix_fmt yuv422p10le");
    const std::string decode = "ffmpeg -v error -i deep.mkv -vsync passthrough -strict -1 -f yuv4mpegpipe -";
    ASSERT_EQ(Sh(decode + " > deep.y4m").status, 0);
    ASSERT_EQ(Velgarde({"-q", P("deep.y4m"), P("stream.y4m")}).status, 0);
    const test::Bytes expected = test::ReadFile(P("stream.y4m"));
    ASSERT_EQ(test::ParseStream(expected).frames.size(), 12u);
    const auto decoded = [&](const std::string& name) {
        EXPECT_EQ(Sh("ffmpeg -v error -i " + name + " -vsync passthrough -strict -1 -f yuv4mpegpipe - > " + name +
                     ".y4m").status, 0);
        return test::ReadFile(P(name + ".y4m"));
    };
    // Video to video: FFV1 stays FFV1 at 10 bits, said so.
    ProgramResult r = Velgarde({P("deep.mkv"), P("sharp.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "encoded as FFV1 (ffv1, lossless, yuv422p10le), the input's own codec")) << r.err;
    EXPECT_EQ(decoded("sharp.mkv"), expected);
    // Video to a stream, and a stream to video.
    ASSERT_EQ(Velgarde({"-q", P("deep.mkv"), P("direct.y4m")}).status, 0);
    EXPECT_EQ(test::ReadFile(P("direct.y4m")), expected);
    r = Velgarde({"--codec", "ffv1", "--crf", "20", P("deep.y4m"), P("from-stream.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "velgarde: --crf: does nothing for ffv1, which takes no quality number (it is "
                                "lossless)\n")) << r.err;
    EXPECT_EQ(decoded("from-stream.mkv"), expected);
}

TEST_F(VideoFile, DamagedOrUnreadableInputsKeepTheGoodFramesOrNothing) {
    MakeClip("clip.mkv", "-c:v libx264 -pix_fmt yuv420p", 50);
    const test::Bytes whole = test::ReadFile(P("clip.mkv"));
    ASSERT_TRUE(test::WriteFile(P("cut.mkv"), test::Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3)));
    ProgramResult r = Velgarde({P("cut.mkv"), P("cut-sharp.mkv")});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Contains(r.err, "cut.mkv: damaged: ffmpeg: ")) << r.err;
    EXPECT_TRUE(Contains(r.err, " good frames before it were written to " + P("cut-sharp.mkv"))) << r.err;
    const std::string frames = ShOut("ffprobe -v error -count_frames -select_streams v -show_entries "
                                     "stream=nb_read_frames -of csv=p=0 cut-sharp.mkv");
    EXPECT_GT(std::atoi(frames.c_str()), 5) << frames;
    EXPECT_LT(std::atoi(frames.c_str()), 50) << frames;
    // An MP4 cut before its index cannot be read at all: nothing written.
    MakeClip("clip.mp4", "-c:v libx264 -pix_fmt yuv420p", 50);
    const test::Bytes mp4 = test::ReadFile(P("clip.mp4"));
    ASSERT_TRUE(test::WriteFile(P("cut.mp4"), test::Bytes(mp4.begin(), mp4.begin() + mp4.size() / 2)));
    ASSERT_TRUE(test::WriteFile(P("old.mp4"), {'o', 'l', 'd'}));
    r = Velgarde({P("cut.mp4"), P("old.mp4")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "cut.mp4: ffprobe cannot read it: ")) << r.err;
    EXPECT_EQ(test::ReadFile(P("old.mp4")), (test::Bytes{'o', 'l', 'd'}));
    // The encoder stopped by a full disk (a file-size limit it inherits): the
    // output is left as it was, no temporary file.
    Program limited{{kExe, P("clip.mkv"), P("old.mp4")}};
    limited.fileSizeLimit = 2000;
    r = velgarde_test::RunProgram(limited);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "old.mp4: ffmpeg could not write it: ")) << r.err;
    EXPECT_EQ(test::ReadFile(P("old.mp4")), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

// Ctrl-C while both ffmpeg processes run, progress on a terminal.
TEST_F(VideoFile, AnInterruptUnderATerminalLeavesNoFileAndNoProcess) {
    velgarde_test::PseudoTerminal terminal;
    if (terminal.master < 0) GTEST_SKIP() << "no pseudo-terminal here";
    MakeClip("long.mkv", "-c:v ffv1", 750, "320x240");
    Program program{{kExe, P("long.mkv"), P("long-sharp.mp4")}};
    program.stderrFd = terminal.terminal;
    // stdout into a pipe would mean another program shows progress.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    program.stdoutFd = null;
    velgarde_test::RunningProgram running = velgarde_test::StartProgram(program);
    // Live progress knows the frame count and the time left.
    std::string shown;
    std::vector<pid_t> children;
    for (int i = 0; i < 3000 && !(Contains(shown, "/750  ") && Contains(shown, " left") && children.size() == 2);
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        shown += terminal.Read();
        children = velgarde_test::ChildrenOf(running.pid);
    }
    ASSERT_EQ(children.size(), 2u) << shown;
    EXPECT_TRUE(Contains(shown, "\rframe ") && Contains(shown, "/750  ") && Contains(shown, " left")) << shown;
    ASSERT_EQ(TemporariesIn(dir_).size(), 1u);
    kill(running.pid, SIGINT);
    const ProgramResult r = velgarde_test::FinishProgram(running);
    close(null);
    EXPECT_EQ(r.status, 128 + SIGINT);
    EXPECT_TRUE(Contains(terminal.Read(), "velgarde: interrupted"));
    EXPECT_TRUE(TemporariesIn(dir_).empty());
    EXPECT_FALSE(test::FileExists(P("long-sharp.mp4")));
    for (pid_t child : children) {
        bool gone = false;
        for (int i = 0; i < 400 && !(gone = !velgarde_test::ProcessExists(child)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(gone) << "ffmpeg " << child << " outlived the interrupted run";
    }
}

TEST_F(VideoFile, MessagesNameWhatToDo) {
    MakeClip("clip.mp4", "-c:v libx264 -pix_fmt yuv420p", 5);
    // No ffmpeg: where it was looked for and how to get it.
    ProgramResult r = Velgarde({"--ffmpeg", P("nowhere"), P("clip.mp4"), P("out.mp4")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "video files are read and written through ffmpeg, which is not in --ffmpeg ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "install ffmpeg")) << r.err;
    // On stdin it cannot be read twice: the pipe that keeps the sound.
    Program piped{{kExe, "-", P("out.mp4")}};
    const test::Bytes clip = test::ReadFile(P("clip.mp4"));
    piped.input.assign(clip.begin(), clip.end());
    r = velgarde_test::RunProgram(piped);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "ffmpeg -i in.mp4 -f yuv4mpegpipe - | velgarde - - | ffmpeg -f yuv4mpegpipe -i - "
                                "-i in.mp4 -map 0:v -map 1:a? -c:a copy out.mp4")) << r.err;
    // A picture from a video: the command for one frame.
    r = Velgarde({P("clip.mp4"), P("frame.png")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "the input is a video (MP4), written as a video file (.mp4, .mov, .mkv")) << r.err;
    EXPECT_TRUE(Contains(r.err, "ffmpeg -i " + P("clip.mp4") + " -frames:v 1 frame.png")) << r.err;
    // Settings that do nothing for this output say so.
    r = Velgarde({"--quality", "95", P("clip.mp4"), P("out.mkv")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("velgarde: --quality: does nothing for video output: it sets the JPEG quality (--crf "
                          "sets the video's)\n", 0), 0u) << r.err;
}

}  // namespace
}  // namespace velgarde
