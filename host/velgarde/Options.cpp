#include "host/velgarde/Options.h"

#include <limits>

namespace velgarde {

const std::array<TrackOption, 5> kTrackOptions = {{
    {"amount-plus", 0, 0, 300, 25, "strength for pixels that get brighter, in %"},
    {"amount-minus", 1, 0, 300, 50, "strength for pixels that get darker, in %"},
    {"range", 2, 1, 100, 10, "blur range; radius = range / 10 + 0.5 pixels"},
    {"variance", 3, 0, 100, 50, "blur variance; 10 to the power variance / 32"},
    {"threshold", 4, 0, 1000, 0, "changes up to this many luma units are softened away"},
}};

Options::Options() {
    for (const auto& t : kTrackOptions) tracks[t.index] = t.defaultValue;
}

namespace {

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

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    Options o;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            o.action = Options::Action::Help;
            *options = o;
            return true;
        }
        if (arg == "--version") {
            o.action = Options::Action::Version;
            *options = o;
            return true;
        }
        if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        // Everything else takes a value: "--name value" or "--name=value".
        std::string name = arg, value;
        bool haveValue = false;
        const auto eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            haveValue = true;
        }
        const TrackOption* track = nullptr;
        for (const auto& t : kTrackOptions)
            if (name == std::string("--") + t.name) track = &t;
        const bool known = track != nullptr || name == "--threads" || name == "--frames" ||
                           name == "--plugin" || name == "--write-demo-input";
        if (!known) {
            *error = "unknown option '" + name + "'";
            return false;
        }
        if (!haveValue) {
            if (i + 1 >= args.size()) {
                *error = name + ": missing value";
                return false;
            }
            value = args[++i];
        }
        std::int64_t v = 0;
        if (track != nullptr) {
            if (!RangedValue(name, value, track->minimum, track->maximum, &v, error)) return false;
            o.tracks[track->index] = static_cast<std::int32_t>(v);
        } else if (name == "--threads") {
            if (!RangedValue(name, value, 0, 64, &v, error)) return false;
            o.threads = static_cast<int>(v);
        } else if (name == "--frames") {
            if (!RangedValue(name, value, 1, std::numeric_limits<std::int64_t>::max(), &v, error))
                return false;
            o.maxFrames = v;
        } else if (value.empty()) {
            *error = name + ": missing value";
            return false;
        } else if (name == "--plugin") {
            o.plugin = value;
        } else {
            o.demoPath = value;
            o.action = Options::Action::WriteDemoInput;
        }
    }
    if (o.action == Options::Action::WriteDemoInput) {
        if (!positional.empty()) {
            *error = "--write-demo-input takes no input or output files";
            return false;
        }
        *options = o;
        return true;
    }
    if (positional.size() != 2) {
        *error = positional.size() < 2 ? "an input and an output are needed"
                                       : "unexpected argument '" + positional[2] + "'";
        return false;
    }
    o.input = positional[0];
    o.output = positional[1];
    *options = o;
    return true;
}

std::string HelpText() {
    std::string text =
        "Usage: velgarde [options] INPUT OUTPUT\n"
        "\n"
        "Sharpens the luma of a YUV4MPEG2 stream or of a still image with the\n"
        "Velgarde filter plug-in. INPUT is a .y4m stream (8, 10 or 12 bits; 4:2:0,\n"
        "4:1:1, 4:2:2, 4:4:4 or mono) or a PNG, JPEG or BMP image; '-' reads stdin.\n"
        "OUTPUT receives a stream for a stream and a PNG image for an image; '-'\n"
        "writes stdout. Chroma passes through untouched.\n"
        "\n"
        "Filter settings (the track bars, in their units):\n";
    for (const auto& t : kTrackOptions) {
        std::string line = std::string("  --") + t.name + " N";
        line.resize(22, ' ');
        text += line + t.help + " (" + std::to_string(t.minimum) + " to " +
                std::to_string(t.maximum) + ", default " + std::to_string(t.defaultValue) + ")\n";
    }
    text +=
        "\n"
        "Other options:\n"
        "  --threads N         worker threads, 0 for one per processor (default 0)\n"
        "  --frames N          stop after N frames\n"
        "  --plugin PATH       plug-in module to load (default: the one beside velgarde)\n"
        "  -q, --quiet         no progress and no summary\n"
        "  --write-demo-input PATH  write the built-in test picture as PNG and exit\n"
        "  -h, --help          this text\n"
        "  --version           the version\n"
        "\n"
        "Examples:\n"
        "  velgarde photo.jpg photo-sharp.png\n"
        "  velgarde --amount-plus 60 --amount-minus 80 in.y4m out.y4m\n"
        "  ffmpeg -i in.mp4 -f yuv4mpegpipe - | velgarde - - | ffmpeg -i - -c:v libx264 out.mp4\n"
        "  ffmpeg -i in.mkv -pix_fmt yuv420p10le -f yuv4mpegpipe - |\n"
        "      velgarde --range 20 - - | ffmpeg -f yuv4mpegpipe -i - -c:v ffv1 out.mkv\n"
        "\n"
        "Exit status: 0 on success, 1 on an error in the input, the output or the\n"
        "plug-in, 2 on a usage error. An output file appears only when complete.\n";
    return text;
}

}  // namespace velgarde
