// The command line: the filter's five settings under their own names and
// units (--amount-plus ... --threshold), the same blur in pixels (--sigma,
// --radius), named presets, and the tool's own switches.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/ChangeView.h"
#include "cli/SettingsOptions.h"

namespace velgarde {

enum class OutputFormat { Auto, Png, Jpeg, Bmp, Y4m };
const char* FormatName(OutputFormat format);
// From a file name's extension (case-insensitive): Auto for no extension,
// false for one that is none of ours.
bool FormatFromName(const std::string& path, OutputFormat* format);

enum class FieldMode { Auto, Progressive, Separate };

struct Options {
    enum class Action { Run, Help, Version };

    Action action = Action::Run;
    std::array<std::int32_t, 5> tracks{};  // filled with the defaults
    std::string preset;                    // empty: none
    double sigma = 0, radius = 0;          // > 0 when given
    OutputFormat format = OutputFormat::Auto;  // --format; Auto: from the name
    int quality = 0;                       // JPEG; 0: the source's, else 92
    bool qualityGiven = false;
    std::int64_t maxMemoryMB = 0;          // --max-memory; 0: by the input's size
    std::string codec;                     // --codec: video encoder or codec; empty: chosen
    int crf = -1;                          // --crf: the video encoder's quality; -1: its default
    std::string ffmpeg;                    // --ffmpeg: the program or its folder; empty: looked for
    bool inPlace = false;
    bool force = false;                    // --force: replace write-protected files, write to a terminal
    FieldMode fields = FieldMode::Auto;
    TChangeView show = TChangeView::Picture;  // --show: the picture, or a view of the change
    bool fieldsGiven = false;
    int threads = 0;                       // 0: one per processor
    std::int64_t maxFrames = -1;           // -1: all
    bool quiet = false;
    bool progress = false;                 // --progress: live even into a pipe
    std::string plugin;  // empty: the module beside the executable
    std::string input;   // "-" is stdin
    std::string output;  // "-" is stdout

    Options();
};

// False with a one-line message on a usage error. args excludes argv[0].
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string HelpText();

}  // namespace velgarde
