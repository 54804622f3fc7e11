// velgarde_gray: raw 8-bit grey frames, sharpened as the tool sharpens a
// grey picture (the same bytes as `velgarde grey.png out.png`).
//   velgarde_gray [settings] [--plugin PATH] [--force] WxH INPUT OUTPUT
// INPUT and OUTPUT are files or '-'; a frame is W x H bytes, rows packed.
// The worked example of docs/adding-a-front-end.md.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/FrontEnd.h"
#include "cli/ImageSharpen.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/SettingsOptions.h"

namespace {

using namespace velgarde;

int Run(const std::vector<std::string>& args, const Reporter& report) {
    SettingsOptions settings;
    std::vector<std::string> rest;
    std::string error;
    if (!ParseSettingsOptions(args, {"--plugin"}, &settings, &rest, &error)) return report.Say(error, ExitUsage);
    std::string plugin;
    bool force = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--plugin" && i + 1 < rest.size()) plugin = rest[++i];
        else if (rest[i] == "--force") force = true;
        else files.push_back(rest[i]);
    }
    int width = 0, height = 0;
    char end = 0;
    if (files.size() != 3 || std::sscanf(files[0].c_str(), "%dx%d%c", &width, &height, &end) != 2 ||
        width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return report.Say("usage: velgarde_gray [settings] [--plugin PATH] [--force] WxH INPUT OUTPUT", ExitUsage);
    const std::string& outputName = files[2];
    const std::string refusal = OutputRefusal(outputName, StdoutIsTerminal(), force);
    if (!refusal.empty()) return report.Fail("stdout", refusal);

    InputFile input;
    if (!input.Open(files[1], &error)) return report.Fail(files[1], error);
    HostProcessor processor;
    if (!OpenPlugin(&processor, plugin, 0, settings.tracks, &error)) return report.Say(error);
    OutputFile output;
    if (!output.Open(outputName, &error, force)) return report.Fail(outputName, error);

    Progress progress(report.Messages(), StderrIsTerminal() && !StdoutIsPipe(), false, report.Program());
    progress.Start(-1);
    Image frame(width, height, 1);
    std::int64_t frames = 0;
    for (;; ++frames) {
        const std::size_t got = input.Source().Read(frame.pixels.data(), frame.pixels.size());
        if (got == 0 && input.Source().Error().empty()) break;
        if (got < frame.pixels.size()) {
            // A cut frame: the whole ones before it stay, as with the tool.
            const std::string why = input.Source().Error().empty() ? "cut short" : input.Source().Error();
            if (!input.Source().Error().empty() || frames == 0 || !output.Commit(&error)) {
                output.Abort();
                return report.Fail(input.Name(), "frame " + std::to_string(frames + 1) + ": " + why);
            }
            progress.Finish(false, frames, width, height, false);
            return report.Fail(input.Name(), "frame " + std::to_string(frames + 1) + ": " + why + "; the " +
                                                 std::to_string(frames) + " whole frames before it were written",
                               ExitDamagedInput);
        }
        if (!SharpenImage(&frame, processor, &error)) return report.Say(error);
        if (!output.Sink().Write(frame.pixels.data(), frame.pixels.size()))
            return report.Fail(outputName, "write failed: " + output.Sink().Error(),
                               output.ErrorCode() == EPIPE ? ExitPipeClosed : ExitFailure);
        progress.Frame(frames + 1);
    }
    if (!output.Commit(&error)) return report.Fail(outputName, error);
    progress.Finish(true, frames, width, height, false);
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = velgarde::StartFrontEnd(argc, argv);
    return Run(args, velgarde::Reporter("velgarde_gray"));
}
