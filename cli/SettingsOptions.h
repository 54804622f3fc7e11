// The filter's settings as command-line options, for every front end: the
// five under their own names and units (--amount-plus ... --threshold), the
// same blur in pixels (--sigma, --radius) and the named presets. A front end
// with options of its own feeds them through SettingsParser; one with none
// but file names calls ParseSettingsOptions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velgarde {

struct TrackOption {
    const char* name;  // option name without the leading "--"
    int index;         // setting index in the plug-in's table
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
    const char* help;
    const char* unit;  // as messages name it
    bool percent;      // an amount: also 150% or a factor with a point (1.5)
};

// In the plug-in table's order.
extern const std::array<TrackOption, 5> kTrackOptions;

struct Preset {
    const char* name;
    std::array<std::int32_t, 5> tracks;
    const char* help;
};
extern const std::array<Preset, 3> kPresets;

struct SettingsOptions {
    std::array<std::int32_t, 5> tracks;  // what the plug-in gets, in its table's order
    std::string preset;                  // empty: none
    double sigma = 0, radius = 0;        // > 0 when given
    SettingsOptions();                   // the defaults
};

// One setting's value as typed: a whole number in the setting's unit, and
// for the amounts also "150%" or a factor with a decimal point ("1.5", as
// ImageMagick and ffmpeg take them), both 150 %. False with a message that
// names the unit when it is none of these or outside the range.
bool ParseTrackValue(const TrackOption& track, const std::string& text, std::int32_t* value,
                     std::string* error);

class SettingsParser {
public:
    // Whether `name` ("--sigma") is a setting option; each takes a value.
    static bool IsSettingOption(const std::string& name);
    // One setting option and its value, in command-line order.
    bool Take(const std::string& name, const std::string& value, std::string* error);
    // After the last option: the preset under the settings given by name,
    // the blur in pixels as range and variance.
    bool Finish(SettingsOptions* settings, std::string* error);

private:
    SettingsOptions s_;
    std::array<bool, 5> explicit_{};
};

// The settings options taken out of `args` ("--name value" or
// "--name=value"); everything else goes to `rest` in order, an option named
// in `otherValueOptions` with its value, and all after "--".
bool ParseSettingsOptions(const std::vector<std::string>& args, const std::vector<std::string>& otherValueOptions,
                          SettingsOptions* settings, std::vector<std::string>* rest, std::string* error);

// The help lines of the settings options.
std::string SettingsHelp();

// For a front end's own options. A whole decimal number (an optional sign,
// digits, no more), without overflow.
bool ParseInteger(const std::string& text, std::int64_t* value);
// A whole number from `minimum` to `maximum`; false with a message naming
// the option and the range.
bool RangedValue(const std::string& option, const std::string& text, std::int64_t minimum,
                 std::int64_t maximum, std::int64_t* value, std::string* error);
// `value` as one of the named `choices`; false with a message listing them.
template <typename T>
bool Choice(const std::string& option, const std::string& value,
            const std::vector<std::pair<const char*, T>>& choices, T* out, std::string* error) {
    std::string names;
    for (const auto& [name, v] : choices) {
        if (value == name) {
            *out = v;
            return true;
        }
        names += std::string(names.empty() ? "" : ", ") + name;
    }
    *error = option + ": '" + value + "' is not one of " + names;
    return false;
}

}  // namespace velgarde
