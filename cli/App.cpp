#include "cli/App.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/Files.h"
#include "cli/HostProcessor.h"
#include "cli/ImageFormats.h"
#include "cli/ImageIO.h"
#include "cli/ImageSharpen.h"
#include "cli/Options.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/StreamJob.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef VELGARDE_VERSION
#define VELGARDE_VERSION "unknown"
#endif

namespace velgarde {
namespace {

constexpr std::size_t kMaxImageFileBytes = std::size_t{512} << 20;

std::string Fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

class App {
public:
    App(const Options& options, const AppContext& context)
        : o_(options), c_(context),
          progress_(context.messages,
                    context.messagesAreTerminal && (options.progress || !context.stdoutIsPipe),
                    options.quiet) {}

    int Run();

private:
    int Fail(const std::string& what, const std::string& problem, int status = ExitFailure) {
        std::fprintf(c_.messages, "velgarde: %s: %s\n", what.c_str(), problem.c_str());
        return status;
    }
    void Warn(const std::string& what, const std::string& problem) {
        if (o_.quiet) return;
        progress_.Clear();
        std::fprintf(c_.messages, "velgarde: %s: %s\n", what.c_str(), problem.c_str());
    }
    // The host's messages already start with the module's path.
    int FailModule(const std::string& problem, const std::string& context = "") {
        std::string rest = problem;
        if (rest.compare(0, module_.size() + 2, module_ + ": ") == 0) rest = rest.substr(module_.size() + 2);
        return Fail(module_, context + rest);
    }
    std::string InputName() const { return o_.input == "-" ? "stdin" : o_.input; }
    std::string OutputName() const { return o_.output == "-" ? "stdout" : o_.output; }
    int EmptyInput();
    bool FindModule();
    bool OpenFilter(HostProcessor* processor);
    std::string SettingsNote() const;
    int RunStream(ByteSource& input);
    int RunImage(ByteSource& input);
    // Reasons not to replace the input with --in-place after a run that
    // otherwise went well; empty if none.
    std::string InPlaceObjection();
    void PrintNotes() {
        for (const auto& note : out_.TakeNotes()) std::fprintf(c_.messages, "velgarde: %s\n", note.c_str());
    }
    int OutputFailed(const std::string& error, const std::string& closedNote = "") {
        if (out_.IsStdout() && out_.ErrorCode() == EPIPE)
            return Fail(OutputName(), "the program reading it closed the pipe" + closedNote, ExitPipeClosed);
        return Fail(OutputName(), error);
    }

    const Options& o_;
    const AppContext& c_;
    Progress progress_;
    std::string module_;
    OutputFormat format_ = OutputFormat::Auto;
    OutputFile out_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> inputFile_{nullptr, std::fclose};
    std::uint64_t inputFileBytes_ = 0;  // 0 unless the input is a regular file
    std::FILE* inputStream_ = nullptr;  // the input file or stdin
    bool replacesInput_ = false;        // --in-place on the input itself
};

int App::EmptyInput() {
    if (o_.input != "-") return Fail(InputName(), "empty input");
    return Fail(
        InputName(),
        "empty input: the program writing into velgarde wrote nothing; its own messages above say "
        "why (ffmpeg 5 writes 10- and 12-bit yuv4mpegpipe only with -strict -1)");
}

bool App::FindModule() {
    if (!o_.plugin.empty()) {
        module_ = o_.plugin;
        return true;
    }
    const std::vector<std::string> candidates = DefaultModulePaths(c_.argv0);
    for (const auto& path : candidates) {
        FileInfo info;
        if (StatPath(path, &info) && info.regular) {
            module_ = path;
            return true;
        }
    }
    module_ = candidates.front();
    if (candidates.size() == 1) return true;  // the host names the path it tried
    std::string looked;
    for (const auto& path : candidates) looked += (looked.empty() ? "" : " and ") + path;
    Fail("no plug-in module", "looked for " + looked + " (give one with --plugin)");
    return false;
}

bool App::OpenFilter(HostProcessor* processor) {
    std::string error;
    if (processor->Open(module_, o_.threads, o_.tracks, &error)) return true;
    FailModule(error);
    return false;
}

std::string App::SettingsNote() const {
    if (o_.sigma <= 0 && o_.radius <= 0) return "";
    const Blur b = BlurOf(o_.tracks[2], o_.tracks[3]);
    return "blur sigma " + Fixed(b.sigma, 2) + " px, radius " + Fixed(b.radius, 1) + " px (--range " +
           std::to_string(o_.tracks[2]) + " --variance " + std::to_string(o_.tracks[3]) + ")";
}

int App::RunStream(ByteSource& input) {
    Y4mReader reader(input);
    std::string error;
    if (!reader.ReadHeader(&error)) return Fail(InputName(), error);
    HostProcessor processor;
    if (!OpenFilter(&processor)) return ExitFailure;
    PoolParallel parallel(processor.ThreadCount());
    Y4mWriter writer(out_.Sink());

    std::int64_t total = -1;
    if (inputFileBytes_ != 0)
        total = EstimateFrameCount(inputFileBytes_, reader.HeaderBytes(), reader.Format());
    if (o_.maxFrames >= 0) total = total < 0 ? o_.maxFrames : std::min(total, o_.maxFrames);
    progress_.Start(total);
    StreamSettings settings;
    settings.maxFrames = o_.maxFrames;
    settings.fields = o_.fields;
    settings.parallel = &parallel;
    const StreamResult result = velgarde::RunStream(reader, writer, processor, settings, &progress_);
    const std::string objection = replacesInput_ ? InPlaceObjection() : "";
    inputFile_.reset();  // read to its end; an in-place output may now replace it

    const Y4mFormat& f = reader.Format();
    std::string extra = SettingsNote();
    if (result.fieldFrames > 0) {
        const std::string fields = result.fieldFrames == result.frames
                                       ? "per field"
                                       : std::to_string(result.fieldFrames) + " frames per field";
        extra += (extra.empty() ? "" : ", ") + fields;
    }
    using F = StreamResult::Failure;
    // A read error says nothing about the data: an error, not damage.
    const bool readError = result.failure == F::Input && !input.Error().empty();
    // A damaged tail: the good frames before it are kept, unless they would
    // replace the input, the only whole copy.
    const bool damaged = result.failure == F::Input && !readError && result.frames > 0;
    if (replacesInput_ && (damaged || (result.failure == F::None && !objection.empty()))) {
        out_.Abort();
        progress_.Finish(false, result.frames, f.width, f.height, false);
        return Fail(InputName(), (damaged ? result.error : objection) +
                                     "; nothing written: --in-place leaves it as it was");
    }
    if (result.failure == F::None || damaged) {
        if (!out_.Commit(&error)) {
            progress_.Finish(false, result.frames, 0, 0, false);
            return OutputFailed(error);
        }
        progress_.Finish(!damaged, result.frames, f.width, f.height, false, extra);
        if (!damaged) return ExitOk;
        std::fprintf(c_.messages, "velgarde: %s: %s; the %lld good frame%s before it %s written to %s\n",
                     InputName().c_str(), result.error.c_str(), static_cast<long long>(result.frames),
                     result.frames == 1 ? "" : "s", result.frames == 1 ? "was" : "were",
                     OutputName().c_str());
        return ExitDamagedInput;
    }
    out_.Abort();
    progress_.Finish(false, result.frames, f.width, f.height, false);
    switch (result.failure) {
    case F::Input: return Fail(InputName(), result.error);
    case F::Output:
        return OutputFailed(result.error, " after " + std::to_string(result.frames) + " frames");
    case F::Filter:
        return FailModule(result.error, "frame " + std::to_string(result.frames + 1) + ": ");
    case F::None: break;
    }
    return ExitFailure;
}

int App::RunImage(ByteSource& input) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadAll(input, kMaxImageFileBytes, &bytes, &error)) return Fail(InputName(), error);
    if (replacesInput_ && !(error = InPlaceObjection()).empty())
        return Fail(InputName(), error + "; nothing written: --in-place leaves it as it was");
    inputFile_.reset();
    ImageLimits limits;
    limits.memoryBudget = static_cast<std::uint64_t>(o_.maxMemoryMB) * 1000000;
    std::string stage;
    DecodeHooks hooks;
    hooks.admitted = [&](const std::string& kind, int w, int h, std::uint64_t bytesNeeded) {
        stage = kind + " " + std::to_string(w) + "x" + std::to_string(h);
        // Big pictures say what they take before they take it.
        if (bytesNeeded >= (std::uint64_t{1} << 30))
            Warn(InputName(), stage + ": about " + std::to_string((bytesNeeded + 500000000) / 1000000000) +
                                  " GB of memory");
    };
    hooks.progress = [&](double done) { progress_.Step("decoding " + stage, done); };
    progress_.Start(1);
    DecodedImage decoded;
    if (!DecodeImage(bytes, limits, &decoded, &error, hooks)) {
        progress_.Finish(false, 0, 0, 0, true);
        return Fail(InputName(), error);
    }
    bytes.clear();
    bytes.shrink_to_fit();
    for (const auto& note : decoded.meta.notes) Warn(InputName(), note);
    if (decoded.gifFrames > 1)
        Warn(InputName(), "GIF of " + std::to_string(decoded.gifFrames) +
                              " frames: only the first is sharpened");
    auto processor = std::make_unique<HostProcessor>();
    if (!OpenFilter(processor.get())) return ExitFailure;
    Image& image = decoded.image;
    progress_.Step("sharpening " + stage, -1);
    if (!SharpenImage(&image, *processor, &error)) {
        progress_.Finish(false, 0, 0, 0, true);
        return FailModule(error);
    }
    processor.reset();  // its frames are not needed to encode
    EncodeSettings settings;
    settings.quality = o_.quality;
    settings.source = decoded.jpeg.present ? &decoded.jpeg : nullptr;
    settings.swapAxes = decoded.orientation >= 5;
    settings.progress = [&](double done) { progress_.Step(std::string("encoding ") + FormatName(format_), done); };
    std::vector<std::string> notes;
    if (!EncodeImage(image, decoded.meta, format_, settings, out_.Sink(), &error, &notes) ||
        !out_.Commit(&error)) {
        progress_.Finish(false, 0, 0, 0, true);
        return OutputFailed(error);
    }
    for (const auto& note : notes) Warn(OutputName(), note);
    std::string extra = SettingsNote();
    const auto add = [&](const std::string& part) { extra += (extra.empty() ? "" : ", ") + part; };
    if (image.bitDepth == 16 && format_ == OutputFormat::Png) add("16-bit");
    if (format_ == OutputFormat::Jpeg) add(JpegCodingNote(image, settings));
    progress_.Finish(true, 1, image.width, image.height, true, extra);
    return ExitOk;
}

std::string App::InPlaceObjection() {
    // Another program still writing the file: what was read is not all of it.
    FileInfo now;
    if (StatOpenFile(inputStream_, &now) && now.size != inputFileBytes_)
        return "it changed while it was read (" + std::to_string(inputFileBytes_) + " bytes, now " +
               std::to_string(now.size) + "): is another program writing it?";
    return "";
}

int App::Run() {
    switch (o_.action) {
    case Options::Action::Help: std::fputs(HelpText().c_str(), stdout); return ExitOk;
    case Options::Action::Version: std::printf("velgarde %s\n", VELGARDE_VERSION); return ExitOk;
    case Options::Action::Run: break;
    }
    if (o_.output == "-" && c_.stdoutIsTerminal && !o_.force)
        return Fail(OutputName(),
                    "is a terminal, and picture or stream bytes are not written to one; redirect it "
                    "(> FILE, or | another program) or give --force");

    std::FILE* file = nullptr;
    FileInfo inputInfo;
    if (o_.input == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file = stdin;
        // Redirected from a file, stdin has an identity and a size too.
        if (StatOpenFile(file, &inputInfo) && inputInfo.regular) inputFileBytes_ = inputInfo.size;
    } else {
        errno = 0;
        file = OpenFile(o_.input, "rb");
        if (file == nullptr) return Fail(InputName(), "cannot open: " + ErrnoText());
        inputFile_.reset(file);
        if (StatOpenFile(file, &inputInfo) && inputInfo.regular) inputFileBytes_ = inputInfo.size;
    }
    inputStream_ = file;
    // The same file under any name, unless asked for, before anything is read.
    FileInfo outputInfo;
    replacesInput_ = o_.output != "-" && inputInfo.regular && StatPath(o_.output, &outputInfo) &&
                     outputInfo.SameFileAs(inputInfo);
    if (replacesInput_ && !o_.inPlace)
        return Fail(OutputName(), "is the input file; give --in-place to replace it", ExitUsage);
    if (replacesInput_ && o_.maxFrames >= 0)
        return Fail(OutputName(), "--frames with --in-place would cut the file to its first frames; "
                                  "write to another file", ExitUsage);
    // Written into through a redirection, it would be read and appended at once.
    if (o_.output == "-" && inputInfo.regular && StatOpenFile(stdout, &outputInfo) &&
        outputInfo.SameFileAs(inputInfo))
        return Fail(OutputName(), "is the input file " + InputName() +
                                      " (redirected into it); write to another file");

    FileSource fileSource(file);
    // The first bytes tell a stream from an image.
    std::vector<std::uint8_t> head(9);
    head.resize(fileSource.Read(head.data(), head.size()));
    if (!fileSource.Error().empty()) return Fail(InputName(), "read failed: " + fileSource.Error());
    if (head.empty()) return EmptyInput();
    const bool isStream = head.size() == 9 && std::memcmp(head.data(), "YUV4MPEG2", 9) == 0;

    // The output's format: --format, else its name, else the input's kind.
    format_ = o_.format;
    if (format_ == OutputFormat::Auto && o_.output != "-") FormatFromName(o_.output, &format_);
    if (format_ == OutputFormat::Auto) format_ = isStream ? OutputFormat::Y4m : OutputFormat::Png;
    if (isStream && format_ != OutputFormat::Y4m)
        return Fail(OutputName(),
                    std::string("the input is a YUV4MPEG2 stream, which is written as .y4m, not ") +
                        FormatName(format_),
                    ExitUsage);
    if (!isStream && format_ == OutputFormat::Y4m)
        return Fail(OutputName(),
                    "the input is an image, which is written as " + WrittenExtensions() + ", not YUV4MPEG2",
                    ExitUsage);
    // A setting that does nothing for this output says so.
    if (!isStream && o_.quality > 0 && format_ != OutputFormat::Jpeg)
        Warn(OutputName(), std::string("--quality sets a JPEG's quality; it does nothing for a ") +
                               FormatName(format_) + " output, which is " +
                               (format_ == OutputFormat::Png ? "lossless" : "uncompressed"));

    // Everything that can fail before the first frame is filtered does.
    if (!FindModule()) return ExitFailure;
    std::string error;
    if (!out_.Open(o_.output, &error, o_.force)) return Fail(OutputName(), error);
    PrintNotes();
    PrefixedSource source(std::move(head), fileSource);
    const int status = isStream ? RunStream(source) : RunImage(source);
    out_.Abort();  // nothing, if committed
    PrintNotes();
    return status;
}

}  // namespace

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool StdoutIsTerminal() {
#if defined(_WIN32)
    // A console, not merely a character device (NUL is one too).
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool StdoutIsPipe() {
#if defined(_WIN32)
    return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
#else
    struct stat st;
    return fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode);
#endif
}

int RunVelgarde(const std::vector<std::string>& args, const AppContext& context) {
    Options options;
    std::string error;
    if (!ParseOptions(args, &options, &error)) {
        std::fprintf(context.messages, "velgarde: %s\nTry 'velgarde --help' for more.\n",
                     error.c_str());
        return ExitUsage;
    }
    App app(options, context);
    return app.Run();
}

}  // namespace velgarde
