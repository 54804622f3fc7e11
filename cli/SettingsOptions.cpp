#include "cli/SettingsOptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "filter/TrackParameters.h"

namespace velgarde {

const std::array<TrackOption, 5> kTrackOptions = {{
    {"amount-plus", 0, 0, 300, 25,
     "how far pixels that get brighter move, in % of their\n                      difference from "
     "the blur; 150, 150% and 1.5 are the same",
     "%", true},
    {"amount-minus", 1, 0, 300, 50, "the same for pixels that get darker", "%", true},
    {"range", 2, 1, 100, 10, "the blur's cut-off: radius = N / 10 + 0.5 pixels",
     "tenths of a pixel over 0.5 (--radius takes pixels)", false},
    {"variance", 3, 0, 100, 50, "the blur's shape: sigma = radius x sqrt(10^(N/32) / 128)",
     "shape steps (--sigma takes pixels)", false},
    {"threshold", 4, 0, 1000, 0,
     "soft threshold in luma units: 4096 is white, about\n                      16 make one 8-bit code",
     "luma units (4096 is white)", false},
}};

const std::array<Preset, 3> kPresets = {{
    {"light", {40, 60, 10, 50, 0}, "sigma 0.8 px, amounts 40/60 %"},
    {"medium", {100, 100, 25, 37, 0}, "sigma 1.0 px, amounts 100/100 % (unsharp=5:5:1.0)"},
    {"strong", {150, 200, 40, 37, 0}, "sigma 1.5 px, amounts 150/200 %"},
}};

bool ParseInteger(const std::string& text, std::int64_t* value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = negative ? -v : v;
    return true;
}

bool RangedValue(const std::string& option, const std::string& text, std::int64_t minimum,
                 std::int64_t maximum, std::int64_t* value, std::string* error) {
    if (!ParseInteger(text, value)) {
        *error = option + ": '" + text + "' is not a whole number";
        return false;
    }
    if (*value < minimum || *value > maximum) {
        *error = option + ": " + text + " is outside its range " + std::to_string(minimum) +
                 " to " + std::to_string(maximum);
        return false;
    }
    return true;
}

SettingsOptions::SettingsOptions() {
    for (const auto& t : kTrackOptions) tracks[t.index] = t.defaultValue;
}

namespace {

bool Pixels(const std::string& option, const std::string& text, double minimum, double maximum,
            double* value, std::string* error) {
    char* end = nullptr;
    const double v = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v)) {
        *error = option + ": '" + text + "' is not a number of pixels";
        return false;
    }
    if (v < minimum || v > maximum) {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, ": %s is outside its range %g to %g pixels", text.c_str(),
                      minimum, maximum);
        *error = option + buffer;
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseTrackValue(const TrackOption& track, const std::string& text, std::int32_t* value,
                     std::string* error) {
    const std::string option = std::string("--") + track.name;
    const std::string range = std::to_string(track.minimum) + " to " + std::to_string(track.maximum) + " " +
                              track.unit;
    std::int64_t v = 0;
    bool ok = ParseInteger(text, &v);
    if (!ok && track.percent && !text.empty()) {
        // 150% is percent; 1.5 (a point, no sign) a factor of the difference.
        const bool percentSign = text.back() == '%';
        const std::string number = percentSign ? text.substr(0, text.size() - 1) : text;
        char* end = nullptr;
        const double d = number.empty() ? 0 : std::strtod(number.c_str(), &end);
        if (!number.empty() && end == number.c_str() + number.size() && std::isfinite(d) &&
            (percentSign || number.find('.') != std::string::npos) && number.find_first_of("eExX") == std::string::npos) {
            const double percent = percentSign ? d : d * 100;
            if (percent < track.minimum - 0.5 || percent > track.maximum + 0.5) {
                *error = option + ": " + text + " is outside its range " + range + " (a factor of 0 to " +
                         std::to_string(track.maximum / 100) + ")";
                return false;
            }
            v = std::llround(percent);
            ok = true;
        }
    }
    if (!ok) {
        *error = option + ": '" + text + "' is not " +
                 (track.percent ? std::string("an amount: give % (150 or 150%) or a factor (1.5)")
                                : "a whole number of " + std::string(track.unit));
        return false;
    }
    if (v < track.minimum || v > track.maximum) {
        *error = option + ": " + text + " is outside its range " + range;
        return false;
    }
    *value = static_cast<std::int32_t>(v);
    return true;
}

bool SettingsParser::IsSettingOption(const std::string& name) {
    if (name == "--sigma" || name == "--radius" || name == "--preset") return true;
    for (const auto& t : kTrackOptions)
        if (name == std::string("--") + t.name) return true;
    return false;
}

bool SettingsParser::Take(const std::string& name, const std::string& value, std::string* error) {
    for (const auto& t : kTrackOptions) {
        if (name != std::string("--") + t.name) continue;
        if (!ParseTrackValue(t, value, &s_.tracks[t.index], error)) return false;
        explicit_[t.index] = true;
        return true;
    }
    if (name == "--sigma") return Pixels(name, value, 0.1, 30, &s_.sigma, error);
    if (name == "--radius") return Pixels(name, value, 0.6, 10.5, &s_.radius, error);
    if (name == "--preset") {
        if (value.empty()) {
            *error = name + ": missing value";
            return false;
        }
        std::vector<std::pair<const char*, std::string>> names;
        for (const auto& p : kPresets) names.push_back({p.name, p.name});
        return Choice(name, value, names, &s_.preset, error);
    }
    *error = "unknown option '" + name + "'";
    return false;
}

bool SettingsParser::Finish(SettingsOptions* settings, std::string* error) {
    // A preset sets all five; settings given by name win over it.
    for (const auto& p : kPresets)
        if (s_.preset == p.name)
            for (int t = 0; t < 5; ++t)
                if (!explicit_[t]) s_.tracks[t] = p.tracks[t];
    if (s_.sigma > 0 || s_.radius > 0) {
        if (explicit_[TrackRange] || explicit_[TrackVariance]) {
            *error = "--sigma and --radius set the blur that --range and --variance also set: give one pair";
            return false;
        }
        NearestBlurTracks(s_.sigma, s_.radius, &s_.tracks[TrackRange], &s_.tracks[TrackVariance]);
    }
    *settings = s_;
    return true;
}

bool ParseSettingsOptions(const std::vector<std::string>& args, const std::vector<std::string>& otherValueOptions,
                          SettingsOptions* settings, std::vector<std::string>* rest, std::string* error) {
    SettingsParser parser;
    rest->clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            rest->insert(rest->end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        const auto eq = arg.find('=');
        const bool long_ = arg.compare(0, 2, "--") == 0;
        const std::string name = long_ && eq != std::string::npos ? arg.substr(0, eq) : arg;
        if (!SettingsParser::IsSettingOption(name)) {
            rest->push_back(arg);
            bool takesValue = false;
            for (const auto& o : otherValueOptions) takesValue = takesValue || o == name;
            if (takesValue && name == arg && i + 1 < args.size()) rest->push_back(args[++i]);
            continue;
        }
        std::string value;
        if (name != arg) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *error = name + ": missing value";
            return false;
        }
        if (!parser.Take(name, value, error)) return false;
    }
    return parser.Finish(settings, error);
}

std::string SettingsHelp() {
    std::string text = "  --preset NAME       a starting point; options given by name override it:\n";
    for (const auto& p : kPresets) {
        std::string line = std::string("                      ") + p.name;
        line.resize(31, ' ');
        text += line + p.help + "\n";
    }
    text +=
        "  --sigma PX          blur sigma in pixels: the size of the detail that is\n"
        "                      sharpened (default 0.8); picks --range and --variance\n"
        "  --radius PX         how far the blur reaches, in pixels (default 1.5;\n"
        "                      with --sigma alone, 3 sigma)\n";
    for (const auto& t : kTrackOptions) {
        std::string line = std::string("  --") + t.name + " N";
        line.resize(22, ' ');
        text += line + t.help + "\n                      (" + std::to_string(t.minimum) + " to " +
                std::to_string(t.maximum) + ", default " + std::to_string(t.defaultValue) + ")\n";
    }
    text +=
        "  The threshold is soft: a difference from the blur below N/2 is left\n"
        "  alone, one of N or more is sharpened fully, and in between the change\n"
        "  ramps up. docs/settings.md shows the settings side by side.\n";
    return text;
}

}  // namespace velgarde
