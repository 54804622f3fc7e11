#include "cli/Options.h"

#include "cli/ImageFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace velgarde {

const std::array<TrackOption, 5> kTrackOptions = {{
    {"amount-plus", 0, 0, 300, 25, "how far pixels that get brighter move, in % of their\n                      difference from the blur"},
    {"amount-minus", 1, 0, 300, 50, "the same for pixels that get darker"},
    {"range", 2, 1, 100, 10, "the blur's cut-off: radius = N / 10 + 0.5 pixels"},
    {"variance", 3, 0, 100, 50, "the blur's shape: sigma = radius x sqrt(10^(N/32) / 128)"},
    {"threshold", 4, 0, 1000, 0, "soft threshold in luma units: 4096 is white, about\n                      16 make one 8-bit code"},
}};

const std::array<Preset, 3> kPresets = {{
    {"light", {40, 60, 10, 50, 0}, "sigma 0.8 px, amounts 40/60 %"},
    {"medium", {100, 100, 25, 37, 0}, "sigma 1.0 px, amounts 100/100 % (unsharp=5:5:1.0)"},
    {"strong", {150, 200, 40, 37, 0}, "sigma 1.5 px, amounts 150/200 %"},
}};

Blur BlurOf(std::int32_t range, std::int32_t variance) {
    Blur b;
    b.radius = range / 10.0 + 0.5;
    b.sigma = b.radius * std::sqrt(std::pow(10.0, variance / 32.0) / 128.0);
    b.reach = static_cast<int>(std::ceil(b.radius - 1e-9));
    return b;
}

void NearestBlur(double sigma, double radius, std::int32_t* range, std::int32_t* variance) {
    if (radius <= 0) radius = 3 * sigma;
    if (sigma <= 0) sigma = radius / 3;
    *range = static_cast<std::int32_t>(std::clamp<long>(std::lround((radius - 0.5) * 10), 1, 100));
    const double r = *range / 10.0 + 0.5;
    const double v = 128 * sigma * sigma / (r * r);
    *variance = static_cast<std::int32_t>(std::clamp<long>(std::lround(32 * std::log10(v)), 0, 100));
}

const char* FormatName(OutputFormat format) {
    if (format == OutputFormat::Y4m) return "YUV4MPEG2";
    const ImageFormatInfo* f = ImageFormatOf(format);
    return f != nullptr ? f->name : "automatic";
}

bool FormatFromName(const std::string& path, OutputFormat* format) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    *format = OutputFormat::Auto;
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return true;
    std::string ext;
    for (char c : path.substr(dot + 1)) ext += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ext == "y4m") {
        *format = OutputFormat::Y4m;
        return true;
    }
    const ImageFormatInfo* f = ImageFormatNamed(ext);
    if (f == nullptr || f->write == nullptr) return false;
    *format = f->output;
    return true;
}

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

const char* const kValueOptions[] = {"--threads", "--frames", "--plugin", "--sigma", "--radius",
                                     "--preset", "--format", "--quality", "--fields", "--max-memory"};

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    Options o;
    std::vector<std::string> positional;
    std::array<bool, 5> explicitTrack{};
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
        if (arg == "--progress") {
            o.progress = true;
            continue;
        }
        if (arg == "--in-place") {
            o.inPlace = true;
            continue;
        }
        if (arg == "--force") {
            o.force = true;
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
        bool known = track != nullptr;
        for (const char* n : kValueOptions) known = known || name == n;
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
            explicitTrack[track->index] = true;
        } else if (name == "--threads") {
            if (!RangedValue(name, value, 0, 64, &v, error)) return false;
            o.threads = static_cast<int>(v);
        } else if (name == "--frames") {
            if (!RangedValue(name, value, 1, std::numeric_limits<std::int64_t>::max(), &v, error))
                return false;
            o.maxFrames = v;
        } else if (name == "--quality") {
            if (!RangedValue(name, value, 1, 100, &v, error)) return false;
            o.quality = static_cast<int>(v);
        } else if (name == "--max-memory") {
            if (!RangedValue(name, value, 1, std::int64_t{1} << 24, &v, error)) return false;
            o.maxMemoryMB = v;
        } else if (name == "--sigma") {
            if (!Pixels(name, value, 0.1, 30, &o.sigma, error)) return false;
        } else if (name == "--radius") {
            if (!Pixels(name, value, 0.6, 10.5, &o.radius, error)) return false;
        } else if (value.empty()) {
            *error = name + ": missing value";
            return false;
        } else if (name == "--plugin") {
            o.plugin = value;
        } else if (name == "--preset") {
            std::vector<std::pair<const char*, std::string>> names;
            for (const auto& p : kPresets) names.push_back({p.name, p.name});
            if (!Choice(name, value, names, &o.preset, error)) return false;
        } else if (name == "--format") {
            // Each written format's name and extensions, then the stream's.
            std::vector<std::string> words;
            std::vector<OutputFormat> values;
            const auto add = [&](const std::string& word, OutputFormat f) {
                if (std::find(words.begin(), words.end(), word) != words.end()) return;
                words.push_back(word);
                values.push_back(f);
            };
            for (const auto& f : ImageFormats()) {
                if (f.write == nullptr) continue;
                std::string lower = f.name;
                for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
                add(lower, f.output);
                std::istringstream extensions(f.extensions);
                for (std::string ext; extensions >> ext;) add(ext, f.output);
            }
            add("y4m", OutputFormat::Y4m);
            std::vector<std::pair<const char*, OutputFormat>> choices;
            for (std::size_t k = 0; k < words.size(); ++k) choices.push_back({words[k].c_str(), values[k]});
            if (!Choice<OutputFormat>(name, value, choices, &o.format, error)) return false;
        } else {
            if (!Choice<FieldMode>(name, value,
                                   {{"auto", FieldMode::Auto}, {"progressive", FieldMode::Progressive},
                                    {"separate", FieldMode::Separate}},
                                   &o.fields, error))
                return false;
        }
    }
    // A preset sets all five; settings given by name win over it.
    if (!o.preset.empty()) {
        for (const auto& p : kPresets)
            if (o.preset == p.name)
                for (int t = 0; t < 5; ++t)
                    if (!explicitTrack[t]) o.tracks[t] = p.tracks[t];
    }
    if (o.sigma > 0 || o.radius > 0) {
        if (explicitTrack[2] || explicitTrack[3]) {
            *error = "--sigma and --radius set the blur that --range and --variance also set: give one pair";
            return false;
        }
        NearestBlur(o.sigma, o.radius, &o.tracks[2], &o.tracks[3]);
    }
    if (positional.size() != 2) {
        *error = positional.size() < 2 ? "an input and an output are needed"
                                       : "unexpected argument '" + positional[2] + "'";
        return false;
    }
    o.input = positional[0];
    o.output = positional[1];
    if (o.output != "-" && o.format == OutputFormat::Auto) {
        OutputFormat f;
        if (!FormatFromName(o.output, &f)) {
            *error = o.output + ": unknown output extension (use " + WrittenExtensions() +
                     " for an image, .y4m for a stream, or --format)";
            return false;
        }
    }
    *options = o;
    return true;
}

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
}

}  // namespace

std::string HelpText() {
    std::string text =
        "Usage: velgarde [options] INPUT OUTPUT\n"
        "\n"
        "Sharpens the luma (brightness) of a YUV4MPEG2 stream or of a still image\n"
        "with the Velgarde filter plug-in: an unsharp mask, which moves each pixel\n"
        "away from a Gaussian blur of its surroundings. Colour is untouched.\n"
        "\n"
        "INPUT is a .y4m stream (8, 10 or 12 bits; 4:2:0, 4:1:1, 4:2:2, 4:4:4 or\n"
        "mono; interlaced streams are sharpened per field) or an image; '-' reads\n"
        "stdin. OUTPUT's extension picks the format: .y4m for a stream;\n"
        "" + WrittenExtensions() + " for an image. '-' writes stdout: YUV4MPEG2 for a\n"
        "stream, PNG for an image, unless --format says otherwise. EXIF\n"
        "orientation is applied; a 16-bit image stays 16-bit in PNG.\n"
        "\n"
        "Images:\n";
    for (const auto& f : ImageFormats()) {
        std::string line = std::string("  ") + f.name;
        line.resize(8, ' ');
        line += std::string(f.reads) + (f.write != nullptr ? "; written" : "");
        if (f.metadataKept != 0) line += ", keeps " + MetadataShortNames(f.metadataKept);
        text += line + "\n";
    }
    text +=
        "\n"
        "Sharpening:\n"
        "  --preset NAME       a starting point; options given by name override it:\n";
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
        "  ramps up. docs/settings.md shows the settings side by side.\n"
        "\n"
        "Output and input:\n"
        "  --format FMT        " + Lower(ImageFormatList(true)) + " or y4m, whatever OUTPUT is called\n"
        "  --quality N         JPEG quality, 1 to 100 (default: a JPEG input's own\n"
        "                      tables and chroma sampling, else " + std::to_string(kDefaultJpegQuality) + " with full chroma)\n"
        "  --max-memory MB     memory an image may take (default: 235 MB, or 200\n"
        "                      times the file's size if more)\n"
        "  --in-place          allow OUTPUT to be INPUT: it is replaced only after a\n"
        "                      complete run; a damaged stream or a read error leaves\n"
        "                      it as it was (not with --frames, which would cut it)\n"
        "  --force             replace a write-protected OUTPUT, and write '-' to a\n"
        "                      terminal\n"
        "  --fields MODE       auto (per field for streams flagged It or Ib, or\n"
        "                      frames flagged interlaced), separate, progressive\n"
        "  --frames N          stop after N frames\n"
        "\n"
        "Other options:\n"
        "  --threads N         worker threads, 0 for one per processor (default 0)\n"
        "  --plugin PATH       plug-in module to load (default: the one installed\n"
        "                      with velgarde)\n"
        "  -q, --quiet         no progress and no summary\n"
        "  --progress          live progress even when stdout goes to another program\n"
        "                      (it is off then, as that program shows its own)\n"
        "  -h, --help          this text\n"
        "  --version           the version\n"
        "\n"
        "Examples:\n"
        "  velgarde photo.jpg photo-sharp.jpg\n"
        "  velgarde --preset medium scan.png scan-sharp.png\n"
        "  velgarde --sigma 1.2 --amount-minus 80 in.y4m out.y4m\n"
        "  ffmpeg -i in.mp4 -f yuv4mpegpipe - | velgarde - - |\n"
        "      ffmpeg -f yuv4mpegpipe -i - -c:v libx264 out.mp4\n"
        "  ffmpeg -i in.mkv -pix_fmt yuv420p10le -strict -1 -f yuv4mpegpipe - |\n"
        "      velgarde --range 20 - - | ffmpeg -f yuv4mpegpipe -i - -c:v ffv1 out.mkv\n"
        "  (ffmpeg 5 writes 10- and 12-bit YUV4MPEG2 only with -strict -1.)\n"
        "\n"
        "Exit status: 0 on success; 1 on an error in the input (a read error\n"
        "included), the output or the plug-in: the output is then left as it was;\n"
        "2 on a usage error; 3 when the input stream was damaged or cut short:\n"
        "every whole frame before the first bad one is sharpened and written, and\n"
        "nothing after it (frames after the damage are dropped too); a warning\n"
        "names the bad frame (with --in-place nothing is written: status 1);\n"
        "130 or 143 when interrupted (Ctrl-C, SIGTERM) before the output was\n"
        "replaced, leaving no partial file; 141 when the program reading stdout\n"
        "closed it early. An output file is written beside it under a name ending\n"
        "in .velgarde-XXXXXXXXXXXX.tmp, flushed to the disk and renamed into place;\n"
        "such a file left by a killed run is removed by the next run there.\n";
    return text;
}

}  // namespace velgarde
