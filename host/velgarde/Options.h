// The command line: five options named after the filter's track bars, in
// track units and within the track ranges, plus the tool's own switches.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velgarde {

struct TrackOption {
    const char* name;  // option name without the leading "--"
    int index;         // track index in the filter table
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
    const char* help;
};

// In the filter table's order.
extern const std::array<TrackOption, 5> kTrackOptions;

struct Options {
    enum class Action { Run, Help, Version, WriteDemoInput };

    Action action = Action::Run;
    std::array<std::int32_t, 5> tracks{};  // filled with the defaults
    int threads = 0;                       // 0: one per processor
    std::int64_t maxFrames = -1;           // -1: all
    bool quiet = false;
    std::string plugin;  // empty: the module beside the executable
    std::string input;   // "-" is stdin
    std::string output;  // "-" is stdout
    std::string demoPath;

    Options();
};

// False with a one-line message on a usage error. args excludes argv[0].
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string HelpText();

}  // namespace velgarde
