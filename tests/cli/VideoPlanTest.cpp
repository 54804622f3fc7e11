// How a video file is read and written, decided without ffmpeg: picture
// formats for the pipe, what ffprobe and ffmpeg print, the encoder chosen for
// each kind of input and container, the other streams, finding the program.
#include <gtest/gtest.h>

#include "cli/ProgramPath.h"
#include "cli/VideoEncoding.h"
#include "cli/VideoFormats.h"
#include "cli/VideoProbe.h"

namespace velgarde {
namespace {

TEST(VideoPlan, PictureFormatsReachThePipeAtTheirDepthAndLayout) {
    struct Case {
        const char* in;
        const char* pipe;
        int depth;
        bool rgb, alphaDropped;
    } cases[] = {
        {"yuv420p", "yuv420p", 8, false, false},       {"yuvj420p", "yuvj420p", 8, false, false},
        {"yuv420p10le", "yuv420p10le", 10, false, false}, {"yuv422p10be", "yuv422p10le", 10, false, false},
        {"yuv444p12le", "yuv444p12le", 12, false, false}, {"yuv420p16le", "yuv420p12le", 12, false, false},
        {"nv12", "yuv420p", 8, false, false},          {"nv21", "yuv420p", 8, false, false},
        {"p010le", "yuv420p10le", 10, false, false},   {"nv20le", "yuv422p10le", 10, false, false},
        {"yuyv422", "yuv422p", 8, false, false},       {"yuv411p", "yuv411p", 8, false, false},
        {"gray", "gray", 8, false, false},             {"gray10le", "gray10le", 10, false, false},
        {"rgb24", "yuv444p", 8, true, false},          {"gbrp10le", "yuv444p10le", 10, true, false},
        {"rgba", "yuv444p", 8, true, true},            {"rgb48le", "yuv444p12le", 12, true, false},
        {"yuva444p", "yuva444p", 8, false, false},     {"yuva420p", "yuv420p", 8, false, true},
        {"yuv440p", "yuv444p", 8, false, false},
    };
    for (const auto& c : cases) {
        const PipeFormat p = PipeFormatFor(c.in);
        EXPECT_EQ(p.pixFmt, c.pipe) << c.in;
        EXPECT_EQ(p.bitDepth, c.depth) << c.in;
        EXPECT_EQ(p.fromRgb, c.rgb) << c.in;
        EXPECT_EQ(p.alphaDropped, c.alphaDropped) << c.in;
    }
    EXPECT_TRUE(PipeFormatFor("yuv420p16le").depthReduced);
}

TEST(VideoPlan, ContainersAreKnownByNameAndByTheirFirstBytes) {
    EXPECT_STREQ(VideoContainerForName("a/clip.MP4")->muxer, "mp4");
    EXPECT_STREQ(VideoContainerForName("x.m2ts")->muxer, "mpegts");
    EXPECT_EQ(VideoContainerForName("dir.mkv/file"), nullptr);
    EXPECT_EQ(VideoContainerForName("photo.png"), nullptr);
    const auto bytes = [](std::initializer_list<int> b) { return std::vector<std::uint8_t>(b.begin(), b.end()); };
    EXPECT_EQ(SniffVideoContainer(bytes({0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'})), "MP4");
    EXPECT_EQ(SniffVideoContainer(bytes({0, 0, 0, 0x14, 'f', 't', 'y', 'p', 'q', 't', ' ', ' '})), "QuickTime");
    EXPECT_EQ(SniffVideoContainer(bytes({0x1A, 0x45, 0xDF, 0xA3, 0x01})), "Matroska");
    EXPECT_EQ(SniffVideoContainer(bytes({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '})), "AVI");
    EXPECT_EQ(SniffVideoContainer(bytes({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'})), "");
    std::vector<std::uint8_t> ts(189, 0);
    ts[0] = 0x47;
    EXPECT_EQ(SniffVideoContainer(ts), "");  // one sync byte is not enough
    ts[188] = 0x47;
    EXPECT_EQ(SniffVideoContainer(ts), "MPEG-TS");
    EXPECT_EQ(SniffVideoContainer(bytes({0x89, 'P', 'N', 'G'})), "");
}

const char* const kProbe =
    "index=0|codec_name=h264|profile=High 10|codec_type=video|pix_fmt=yuv420p10le|color_range=tv|"
    "color_space=bt709|color_transfer=bt709|color_primaries=bt709|field_order=progressive|"
    "r_frame_rate=25/1|avg_frame_rate=25/1|duration=N/A|nb_frames=N/A|disposition:attached_pic=0|"
    "tag:language=eng|tag:title=Main \\| cut\n"
    "index=1|codec_name=aac|profile=LC|codec_type=audio|r_frame_rate=0/0|avg_frame_rate=0/0|"
    "duration=N/A|nb_frames=N/A|disposition:attached_pic=0|tag:language=fra\n"
    "index=2|codec_name=mov_text|codec_type=subtitle|disposition:attached_pic=0\n"
    "index=3|codec_name=hdmv_pgs_subtitle|codec_type=subtitle|disposition:attached_pic=0\n"
    "index=4|codec_name=mjpeg|codec_type=video|pix_fmt=yuvj420p|disposition:attached_pic=1\n"
    "index=5|codec_name=ttf|codec_type=attachment|disposition:attached_pic=0\n"
    "index=6|codec_name=bin_data|codec_type=data|disposition:attached_pic=0\n"
    "format_name=matroska,webm|duration=4.000000\n";

VideoProbe Probe(const std::string& text = kProbe) {
    VideoProbe probe;
    std::string error;
    EXPECT_TRUE(ParseProbe(text, &probe, &error)) << error;
    return probe;
}

TEST(VideoPlan, ProbeOutputGivesThePictureStreamAndItsFrameCount) {
    const VideoProbe probe = Probe();
    ASSERT_EQ(probe.streams.size(), 7u);
    ASSERT_NE(probe.Picture(), nullptr);
    EXPECT_EQ(probe.Picture()->index, 0);
    EXPECT_EQ(probe.Picture()->title, "Main | cut");
    EXPECT_EQ(probe.Picture()->colourRange, "tv");
    EXPECT_EQ(probe.FrameCount(), 100);  // no stored count: 4 s at 25/s
    VideoProbe stored = Probe("index=0|codec_type=video|nb_frames=37|avg_frame_rate=30000/1001\nformat_name=mp4\n");
    EXPECT_EQ(stored.FrameCount(), 37);
    // A cover picture alone is nothing to sharpen.
    EXPECT_EQ(Probe("index=0|codec_type=video|disposition:attached_pic=1\nformat_name=mp3\n").Picture(), nullptr);
    VideoProbe none;
    std::string error;
    EXPECT_FALSE(ParseProbe("", &none, &error));
}

EncoderList Encoders() {
    return ParseEncoderList(
        "Encoders:\n V..... = Video\n ------\n"
        " V....D libx264              libx264 H.264 / AVC (codec h264)\n"
        " V....D libx265              libx265 H.265 / HEVC (codec hevc)\n"
        " V....D libvpx-vp9           libvpx VP9 (codec vp9)\n"
        " V.S... ffv1                 FFmpeg video codec #1\n"
        " VFS... prores_ks            Apple ProRes (iCodec Pro) (codec prores)\n"
        " V.S... mpeg4                MPEG-4 part 2\n"
        " A....D libopus              libopus Opus (codec opus)\n");
}

VideoEncoding Choose(const VideoProbe* probe, const std::string& pixFmt, const char* output,
                     const EncodingRequest& request = {}, std::string* error = nullptr) {
    VideoEncoding e;
    std::string ignored;
    const bool ok = ChooseEncoding(probe, PipeFormatFor(pixFmt), *VideoContainerForName(output), Encoders(), request,
                                   &e, error != nullptr ? error : &ignored);
    if (error == nullptr) {
        EXPECT_TRUE(ok) << ignored;
    }
    return e;
}

TEST(VideoPlan, TheEncoderKeepsTheInputsFamilyDepthAndLosslessness) {
    EXPECT_EQ(Encoders().size(), 6u);  // video encoders only
    EXPECT_EQ(Encoders().at("libx264"), "h264");
    EXPECT_EQ(Encoders().at("ffv1"), "ffv1");
    VideoProbe probe = Probe();
    // 10-bit H.264 stays 10-bit H.264, with its colour description.
    VideoEncoding e = Choose(&probe, "yuv420p10le", "out.mkv");
    EXPECT_EQ(e.encoder, "libx264");
    EXPECT_EQ(e.description, "H.264 (libx264, CRF 18, yuv420p10le)");
    EXPECT_EQ(e.reason, "the input's own codec");
    const auto has = [](const std::vector<std::string>& args, const std::string& a, const std::string& b) {
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == a && args[i + 1] == b) return true;
        return false;
    };
    EXPECT_TRUE(has(e.videoArgs, "-colorspace", "bt709"));
    EXPECT_TRUE(has(e.videoArgs, "-color_range", "tv"));
    // WebM holds no H.264: its own codec, and the reason said.
    e = Choose(&probe, "yuv420p10le", "out.webm");
    EXPECT_EQ(e.encoder, "libvpx-vp9");
    EXPECT_EQ(e.reason, "as WebM does not hold the input's h264");
    // Lossless stays lossless: FFV1 as FFV1, and into MP4 as lossless H.264.
    probe.streams[0].codec = "ffv1";
    e = Choose(&probe, "yuv420p10le", "out.mkv");
    EXPECT_EQ(e.encoder, "ffv1");
    EXPECT_TRUE(e.lossless);
    EXPECT_FALSE(e.qualityApplies);
    e = Choose(&probe, "yuv420p10le", "out.mp4");
    EXPECT_EQ(e.encoder, "libx264");
    EXPECT_TRUE(has(e.videoArgs, "-qp", "0"));
    EXPECT_TRUE(e.lossless);
    // A codec with no encoder here: the container's usual one, said so.
    probe.streams[0].codec = "vc1";
    e = Choose(&probe, "yuv420p", "out.mkv");
    EXPECT_EQ(e.encoder, "libx264");
    EXPECT_EQ(e.reason, "as ffmpeg here has no encoder for the input's vc1");
    // A ProRes profile is kept; a stream input gets the container's default.
    probe.streams[0].codec = "prores";
    probe.streams[0].profile = "HQ";
    EXPECT_TRUE(has(Choose(&probe, "yuv422p10le", "out.mov").videoArgs, "-profile:v", "hq"));
    EXPECT_EQ(Choose(nullptr, "yuv420p", "out.mp4").encoder, "libx264");
    // Asked for: by encoder or by codec, quality given; refused where impossible.
    EncodingRequest asked;
    asked.codec = "hevc";
    asked.quality = 26;
    e = Choose(&probe, "yuv420p", "out.mp4", asked);
    EXPECT_EQ(e.encoder, "libx265");
    EXPECT_TRUE(has(e.videoArgs, "-crf", "26"));
    std::string error;
    asked.codec = "ffv1";
    Choose(&probe, "yuv420p", "out.mp4", asked, &error);
    EXPECT_EQ(error, "--codec: MP4 does not hold ffv1 video; .mkv holds every codec");
    asked.codec = "nonesuch";
    Choose(&probe, "yuv420p", "out.mp4", asked, &error);
    EXPECT_NE(error.find("no video encoder 'nonesuch'"), std::string::npos) << error;
}

TEST(VideoPlan, EveryOtherStreamIsCopiedOrConvertedOrSaidToBeLeftOut) {
    const VideoProbe probe = Probe();
    // Into Matroska: all but data; QuickTime text subtitles become SubRip.
    StreamPlan plan = PlanOtherStreams(probe, *VideoContainerForName("out.mkv"));
    EXPECT_EQ(plan.copied, 5);
    const std::string mkv = [&] {
        std::string all;
        for (const auto& a : plan.args) all += a + " ";
        return all;
    }();
    EXPECT_NE(mkv.find("-map 1:1 -c:1 copy -map_metadata:s:1 1:s:1 "), std::string::npos) << mkv;
    EXPECT_NE(mkv.find("-map 1:2 -c:2 srt "), std::string::npos) << mkv;
    EXPECT_NE(mkv.find("-map 1:5 -c:5 copy "), std::string::npos) << mkv;
    EXPECT_EQ(mkv.find("1:6"), std::string::npos) << mkv;
    EXPECT_NE(mkv.find("-map_metadata:s:0 1:s:0 -map_metadata 1 -map_chapters 1"), std::string::npos) << mkv;
    EXPECT_TRUE(plan.notes.empty());
    // Into MP4: text subtitles as mov_text; picture subtitles, fonts left out, said.
    plan = PlanOtherStreams(probe, *VideoContainerForName("out.mp4"));
    EXPECT_EQ(plan.copied, 3);
    ASSERT_EQ(plan.notes.size(), 2u);
    EXPECT_EQ(plan.notes[0], "stream 3 (subtitle, hdmv_pgs_subtitle) left out: MP4 holds text subtitles only");
    EXPECT_EQ(plan.notes[1], "stream 5 (attachment, ttf) left out: MP4 holds no attachments");
    // Into WebM: the sound converted, as WebM holds no AAC.
    plan = PlanOtherStreams(probe, *VideoContainerForName("out.webm"));
    EXPECT_EQ(plan.notes[0], "stream 1 (audio, aac) converted to Opus: WebM holds no aac audio");
}

TEST(VideoPlan, DecoderAndEncoderCommandLines) {
    const VideoProbe probe = Probe();
    const PipeFormat pipe = PipeFormatFor("yuv420p10le");
    const auto decoder = DecoderArguments("-odd:name.mkv", *probe.Picture(), pipe);
    std::string d;
    for (const auto& a : decoder) d += a + " ";
    // A name that looks like an option or a protocol stays a file name.
    EXPECT_NE(d.find("-i file:-odd:name.mkv -map 0:0 -pix_fmt yuv420p10le -strict -1 -vsync passthrough "
                     "-f yuv4mpegpipe - "),
              std::string::npos) << d;
    VideoEncoding e = Choose(&probe, "yuv420p10le", "out.mkv");
    StreamPlan plan = PlanOtherStreams(probe, *VideoContainerForName("out.mkv"));
    const auto encoder = EncoderArguments("in.mkv", &probe, e, &plan, *VideoContainerForName("out.mkv"), "/dev/fd/3");
    std::string c;
    for (const auto& a : encoder) c += a + " ";
    EXPECT_EQ(c.rfind("-nostdin -hide_banner -nostats -v error -y -f yuv4mpegpipe -i - -i file:in.mkv -map 0:0 "
                      "-c:0 libx264 -crf 18 ", 0), 0u) << c;
    EXPECT_EQ(c.substr(c.size() - 27), "-f matroska file:/dev/fd/3 ") << c;
}

TEST(VideoPlan, ProgramsAreFoundAsGivenBesideTheToolOrOnPath) {
    std::vector<std::string> looked;
#if defined(_WIN32)
    EXPECT_EQ(FindProgramIn("ffmpeg", "", "C:\\nowhere\\", "C:\\a;\"C:\\b c\";", &looked), "");
    EXPECT_EQ(looked, (std::vector<std::string>{"C:\\nowhere\\ffmpeg.exe", "C:\\a\\ffmpeg.exe", "C:\\b c\\ffmpeg.exe"}));
#else
    EXPECT_EQ(FindProgramIn("ffmpeg", "", "/nowhere/", "/a::/b/", &looked), "");
    EXPECT_EQ(looked, (std::vector<std::string>{"/nowhere/ffmpeg", "/a/ffmpeg", "/b/ffmpeg"}));
    EXPECT_EQ(FindProgramIn("sh", "", "/nowhere", "/nonexistent:/bin", nullptr), "/bin/sh");
    EXPECT_EQ(FindProgramIn("sh", "/bin", "", "", nullptr), "/bin/sh");  // a folder given
    looked.clear();
    EXPECT_EQ(FindProgramIn("ffmpeg", "/bin/nonesuch", "/usr/bin", "/usr/bin", &looked), "");
    EXPECT_EQ(looked, (std::vector<std::string>{"/bin/nonesuch"}));  // given: nowhere else
#endif
}

}  // namespace
}  // namespace velgarde
