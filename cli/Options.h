// The command line: the filter's five settings under their own names and
// units (--amount-plus ... --threshold), the same blur in pixels (--sigma,
// --radius), named presets, and the tool's own switches.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velgarde {

struct TrackOption {
    const char* name;  // option name without the leading "--"
    int index;         // setting index in the plug-in's table
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
    const char* help;
};

// In the plug-in table's order.
extern const std::array<TrackOption, 5> kTrackOptions;

// The blur that a range and variance stand for: weights exp(-x^2 / 2 sigma^2)
// for taps up to `reach` pixels from the centre.
struct Blur {
    double radius;  // range / 10 + 0.5 pixels: the cut-off
    double sigma;   // radius * sqrt(10^(variance / 32) / 128)
    int reach;      // taps each side: radius rounded up
};
Blur BlurOf(std::int32_t range, std::int32_t variance);
// The range and variance nearest to a blur of `sigma` pixels cut off at
// `radius` pixels. Either may be <= 0: radius then defaults to 3 sigma and
// sigma to radius / 3.
void NearestBlur(double sigma, double radius, std::int32_t* range, std::int32_t* variance);

struct Preset {
    const char* name;
    std::array<std::int32_t, 5> tracks;
    const char* help;
};
extern const std::array<Preset, 3> kPresets;

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
    std::int64_t maxMemoryMB = 0;          // --max-memory; 0: by the input's size
    bool inPlace = false;
    bool force = false;                    // --force: replace write-protected files, write to a terminal
    FieldMode fields = FieldMode::Auto;
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
