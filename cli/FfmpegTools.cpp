#include "cli/FfmpegTools.h"

#include <vector>

#include "cli/ByteStream.h"
#include "cli/ChildProcess.h"
#include "cli/Files.h"
#include "cli/ProgramPath.h"

namespace velgarde {
namespace {

// Runs a program to its end; its stdout, or false with its last message.
bool Output(const std::string& program, const std::vector<std::string>& args, std::string* out,
            std::string* error) {
    ChildProcess child;
    if (!child.Start(program, args, false, true, error)) return false;
    std::vector<std::uint8_t> bytes;
    FileSource source(child.Stdout());
    std::string readError;
    const bool read = ReadAll(source, std::size_t{16} << 20, &bytes, &readError);
    const int status = child.Wait();
    if (!read || status != 0) {
        *error = LastMessageLine(child.Messages(), read ? "it stopped with status " + std::to_string(status)
                                                        : readError);
        return false;
    }
    out->assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

bool FindFfmpeg(const std::string& given, bool needProbe, FfmpegTools* tools, std::string* error) {
    std::vector<std::string> looked;
    tools->ffmpeg = FindProgram("ffmpeg", given, &looked);
    tools->ffprobe.clear();
    std::string missing = "ffmpeg";
    if (!tools->ffmpeg.empty() && needProbe) {
        tools->ffprobe = FindProgram("ffprobe", FolderOf(tools->ffmpeg), nullptr);
        if (tools->ffprobe.empty() && given.empty()) tools->ffprobe = FindProgram("ffprobe", "", &looked);
        if (tools->ffprobe.empty()) missing = "ffprobe (it comes with ffmpeg)";
    }
    if (!tools->ffmpeg.empty() && (!needProbe || !tools->ffprobe.empty())) return true;
    std::string where;
    if (!given.empty()) where = "--ffmpeg " + given;
    else if (looked.size() > 4) where = looked.front() + ", " + looked[1] + " and " + std::to_string(looked.size() - 2) + " more places on PATH";
    else
        for (const auto& l : looked) where += (where.empty() ? "" : ", ") + l;
#if defined(_WIN32)
    const std::string install = "put ffmpeg.exe and ffprobe.exe (from ffmpeg.org's Windows builds) beside "
                                "velgarde.exe or on PATH, or give --ffmpeg FOLDER";
#else
    const std::string install = "install ffmpeg (Debian: apt install ffmpeg), or give --ffmpeg PATH";
#endif
    *error = "video files are read and written through " + missing + ", which is not in " + where + ": " +
             install;
    return false;
}

bool ProbeVideoFile(const FfmpegTools& tools, const std::string& input, VideoProbe* probe, std::string* error) {
    std::string text;
    return Output(tools.ffprobe, ProbeArguments(input), &text, error) && ParseProbe(text, probe, error);
}

bool ListVideoEncoders(const FfmpegTools& tools, EncoderList* encoders, std::string* error) {
    std::string text;
    if (!Output(tools.ffmpeg, {"-hide_banner", "-encoders"}, &text, error)) return false;
    *encoders = ParseEncoderList(text);
    return true;
}

}  // namespace velgarde
