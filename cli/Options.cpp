#include "cli/Options.h"

#include "cli/VideoFormats.h"
#include "filter/TrackParameters.h"
#include "cli/ImageFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace velgarde {

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

Options::Options() { tracks = SettingsOptions().tracks; }

namespace {

const char* const kValueOptions[] = {"--threads", "--frames", "--plugin", "--format", "--quality",
                                     "--fields", "--codec", "--crf", "--ffmpeg", "--show",
                                     "--max-memory"};

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    Options o;
    std::vector<std::string> positional;
    SettingsParser settings;
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
        const bool setting = SettingsParser::IsSettingOption(name);
        bool known = setting;
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
        if (setting) {
            if (!settings.Take(name, value, error)) return false;
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
            o.qualityGiven = true;
        } else if (name == "--crf") {
            if (!RangedValue(name, value, 0, 63, &v, error)) return false;
            o.crf = static_cast<int>(v);
        } else if (name == "--max-memory") {
            if (!RangedValue(name, value, 1, std::int64_t{1} << 24, &v, error)) return false;
            o.maxMemoryMB = v;
        } else if (value.empty()) {
            *error = name + ": missing value";
            return false;
        } else if (name == "--plugin") {
            o.plugin = value;
        } else if (name == "--codec") {
            o.codec = value;
        } else if (name == "--ffmpeg") {
            o.ffmpeg = value;
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
        } else if (name == "--show") {
            if (!Choice<TChangeView>(name, value,
                                     {{"picture", TChangeView::Picture}, {"change", TChangeView::Change},
                                      {"overlay", TChangeView::OverPicture}},
                                     &o.show, error))
                return false;
        } else {
            if (!Choice<FieldMode>(name, value,
                                   {{"auto", FieldMode::Auto}, {"progressive", FieldMode::Progressive},
                                    {"separate", FieldMode::Separate}},
                                   &o.fields, error))
                return false;
            o.fieldsGiven = true;
        }
    }
    SettingsOptions chosen;
    if (!settings.Finish(&chosen, error)) return false;
    o.tracks = chosen.tracks;
    o.preset = chosen.preset;
    o.sigma = chosen.sigma;
    o.radius = chosen.radius;
    if (positional.size() != 2) {
        *error = positional.size() < 2 ? "an input and an output are needed"
                                       : "unexpected argument '" + positional[2] + "'";
        return false;
    }
    o.input = positional[0];
    o.output = positional[1];
    if (o.inPlace && o.show != TChangeView::Picture) {
        *error = "--show with --in-place would replace the input with a view of the change; write to another file";
        return false;
    }
    if (o.output != "-" && o.format == OutputFormat::Auto) {
        OutputFormat f;
        if (!FormatFromName(o.output, &f) && VideoContainerForName(o.output) == nullptr) {
            *error = o.output + ": unknown output extension (use " + WrittenExtensions() +
                     " for an image, .y4m for a stream, a video file's " + VideoExtensionList() +
                     ", or --format)";
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
        "Sharpens the luma (brightness) of a video, a YUV4MPEG2 stream or a still\n"
        "image with the Velgarde filter plug-in: an unsharp mask, which moves each\n"
        "pixel away from a Gaussian blur of its surroundings. Colour is untouched.\n"
        "\n"
        "INPUT is a video file ffmpeg reads (MP4, MOV, MKV, WebM, AVI, MPEG-TS ...),\n"
        "a .y4m stream (8, 10 or 12 bits; 4:2:0, 4:1:1, 4:2:2, 4:4:4 or mono;\n"
        "interlaced streams are sharpened per field) or an image; '-' reads stdin\n"
        "(streams and images).\n"
        "OUTPUT's extension picks the format: a video file (.mp4, .mkv, .mov,\n"
        ".webm, .avi ...) from a video or a stream, .y4m for either,\n"
        "" + WrittenExtensions() + " for an image. '-' writes stdout:\n"
        "YUV4MPEG2 for a video or a stream, PNG for an image, unless --format says\n"
        "otherwise. EXIF orientation is applied; a 16-bit image stays 16-bit in PNG.\n"
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
        "Video files go through ffmpeg (found beside velgarde or on PATH): sound,\n"
        "subtitles, chapters and metadata are copied as they are, and the picture\n"
        "is encoded in the input's own codec and bit depth at a high quality\n"
        "(H.264 at CRF 18, HEVC at CRF 20, VP9 at CRF 24; lossless stays lossless),\n"
        "or in the container's usual codec where that is not possible. The summary\n"
        "says which.\n"
        "\n"
        "Sharpening:\n";
    text += SettingsHelp();
    text +=
        "\n"
        "Output and input:\n"
        "  --format FMT        " + Lower(ImageFormatList(true)) + " or y4m, whatever OUTPUT is called\n"
        "  --quality N         JPEG quality, 1 to 100 (default: a JPEG input's own\n"
        "                      tables and chroma sampling, else " + std::to_string(kDefaultJpegQuality) + " with full chroma)\n"
        "  --max-memory MB     memory an image may take (default: 235 MB, or 200\n"
        "                      times the file's size if more)\n"
        "  --codec NAME        video encoder (libx264, libx265, libvpx-vp9, ffv1,\n"
        "                      prores_ks ..., or a codec: h264, hevc, vp9, av1)\n"
        "  --crf N             the video encoder's quality number: -crf for x264,\n"
        "                      x265, VP9 and AV1 (lower is better), -q:v for MPEG-2,\n"
        "                      MPEG-4 and MJPEG (2 to 31), Theora (0 to 10, higher)\n"
        "  --ffmpeg PATH       the ffmpeg program, or its folder (ffprobe beside it)\n"
        "  --in-place          allow OUTPUT to be INPUT: it is replaced only after a\n"
        "                      complete run; a damaged stream or a read error leaves\n"
        "                      it as it was (not with --frames, which would cut it)\n"
        "  --force             replace a write-protected OUTPUT, and write '-' to a\n"
        "                      terminal\n"
        "  --fields MODE       auto (per field for streams flagged It or Ib, or\n"
        "                      frames flagged interlaced), separate, progressive\n"
        "  --frames N          stop after N frames\n"
        "  --show WHAT         what to write: picture (default); change, the change\n"
        "                      sharpening made, as grey (mid-grey: none, lighter:\n"
        "                      brightened, darker: darkened; a change of n 8-bit\n"
        "                      levels shows 8 x sqrt(n) levels from mid-grey);\n"
        "                      overlay, the change over the picture dimmed to a\n"
        "                      quarter of its contrast\n"
        "\n"
        "Other options:\n"
        "  --threads N         worker threads, 0 for one per processor (default 0)\n"
        "  --plugin PATH       run the frames through this plug-in module, driven as\n"
        "                      the editor drives it (default: the filter built into\n"
        "                      velgarde; the same bytes)\n"
        "  -q, --quiet         no progress and no summary\n"
        "  --progress          live progress even when stdout goes to another program\n"
        "                      (it is off then, as that program shows its own)\n"
        "  -h, --help          this text\n"
        "  --version           the version\n"
        "\n"
        "Examples:\n"
        "  velgarde clip.mp4 clip-sharp.mp4\n"
        "  velgarde --preset medium --codec ffv1 film.mkv film-sharp.mkv\n"
        "  velgarde photo.jpg photo-sharp.jpg\n"
        "  velgarde --preset medium scan.png scan-sharp.png\n"
        "  velgarde --sigma 1.2 --amount-minus 80 in.y4m out.y4m\n"
        "  ffmpeg -i in.mp4 -f yuv4mpegpipe - | velgarde - - |\n"
        "      ffmpeg -f yuv4mpegpipe -i - -i in.mp4 -map 0:v -map 1:a? -c:a copy out.mp4\n"
        "  ffmpeg -i in.mkv -pix_fmt yuv420p10le -strict -1 -f yuv4mpegpipe - |\n"
        "      velgarde --range 20 - - |\n"
        "      ffmpeg -f yuv4mpegpipe -i - -i in.mkv -map 0:v -map 1:a? -c:a copy -c:v ffv1 out.mkv\n"
        "  (ffmpeg 5 writes 10- and 12-bit YUV4MPEG2 only with -strict -1; the\n"
        "  second ffmpeg takes the sound and the rest from the file again.)\n"
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
