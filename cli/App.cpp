#include "cli/App.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/EngineProcessor.h"
#include "cli/Files.h"
#include "cli/HostProcessor.h"
#include "cli/ImageFormats.h"
#include "cli/ImageIO.h"
#include "cli/ImageSharpen.h"
#include "cli/Options.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/ShowChange.h"
#include "cli/StreamJob.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "cli/ChildProcess.h"
#include "cli/FfmpegTools.h"
#include "cli/VideoEncoding.h"
#include "cli/VideoFormats.h"
#include "filter/TrackParameters.h"

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
        : o_(options), c_(context), report_("velgarde", context.messages, options.quiet),
          progress_(context.messages,
                    context.messagesAreTerminal && (options.progress || !context.stdoutIsPipe),
                    options.quiet) {}

    int Run();

private:
    int Fail(const std::string& what, const std::string& problem, int status = ExitFailure) {
        return report_.Fail(what, problem, status);
    }
    void Warn(const std::string& what, const std::string& problem) {
        if (!o_.quiet) progress_.Clear();
        report_.Warn(what, problem);
    }
    // The host's messages already start with the module's path.
    int FailModule(const std::string& problem, const std::string& context = "") {
        if (module_.empty()) return Fail("the filter", context + problem);
        std::string rest = problem;
        if (rest.compare(0, module_.size() + 2, module_ + ": ") == 0) rest = rest.substr(module_.size() + 2);
        return Fail(module_, context + rest);
    }
    std::string InputName() const { return o_.input == "-" ? "stdin" : o_.input; }
    std::string OutputName() const { return o_.output == "-" ? "stdout" : o_.output; }
    int EmptyInput();
    // The filter: the engine in this process, or with --plugin that module
    // through the emulated host. Null after saying why; *threads its pool.
    std::unique_ptr<LumaProcessor> OpenFilter(int* threads);
    // The filter for a stream, and the settings that run it over one.
    struct StreamFilter {
        std::unique_ptr<LumaProcessor> processor;
        // Code conversions beside a plug-in's own pool; the engine reads the
        // codes itself.
        std::unique_ptr<PoolParallel> pool;
        Parallel serial;
    };
    bool OpenStreamFilter(StreamFilter* filter);
    StreamSettings StreamSettingsFor(StreamFilter& filter) const;
    std::string SettingsNote() const;
    int RunStream(ByteSource& input);
    int RunImage(ByteSource& input);
    // A video file in (`video` names its kind) or out (`container`), or both.
    int RunVideo(const std::string& video, const VideoContainer* container, ByteSource& input);
    void WarnIgnoredSettings(bool image, bool video, const VideoEncoding* encoding);
    // Reasons not to replace the input with --in-place after a run that
    // otherwise went well; empty if none.
    std::string InPlaceObjection();
    void PrintNotes() {
        for (const auto& note : out_.TakeNotes()) report_.Say(note);
    }
    int OutputFailed(const std::string& error, const std::string& closedNote = "") {
        if (out_.IsStdout() && out_.ErrorCode() == EPIPE)
            return Fail(OutputName(), "the program reading it closed the pipe" + closedNote, ExitPipeClosed);
        return Fail(OutputName(), error);
    }

    const Options& o_;
    const AppContext& c_;
    Reporter report_;
    Progress progress_;
    std::string module_;
    OutputFormat format_ = OutputFormat::Auto;
    OutputFile out_;
    InputFile input_;
    std::uint64_t inputFileBytes_ = 0;  // 0 unless the input is a regular file
    bool replacesInput_ = false;        // --in-place on the input itself
};

int App::EmptyInput() {
    if (o_.input != "-") return Fail(InputName(), "empty input");
    return Fail(
        InputName(),
        "empty input: the program writing into velgarde wrote nothing; its own messages above say "
        "why (ffmpeg 5 writes 10- and 12-bit yuv4mpegpipe only with -strict -1)");
}

std::unique_ptr<LumaProcessor> App::OpenFilter(int* threads) {
    if (module_.empty()) {
        auto engine = std::make_unique<EngineProcessor>(o_.threads, o_.tracks);
        *threads = engine->ThreadCount();
        return engine;
    }
    auto plugin = std::make_unique<HostProcessor>();
    std::string error;
    if (!plugin->Open(module_, o_.threads, o_.tracks, &error)) {
        FailModule(error);
        return nullptr;
    }
    *threads = plugin->ThreadCount();
    return plugin;
}

bool App::OpenStreamFilter(StreamFilter* filter) {
    int threads = 1;
    filter->processor = OpenFilter(&threads);
    if (!filter->processor) return false;
    if (!module_.empty()) filter->pool = std::make_unique<PoolParallel>(threads);
    return true;
}

StreamSettings App::StreamSettingsFor(StreamFilter& filter) const {
    StreamSettings settings;
    settings.maxFrames = o_.maxFrames;
    settings.fields = o_.fields;
    settings.parallel = filter.pool ? static_cast<Parallel*>(filter.pool.get()) : &filter.serial;
    settings.show = o_.show;
    return settings;
}

std::string App::SettingsNote() const {
    if (o_.sigma <= 0 && o_.radius <= 0) return "";
    const BlurInPixels b = BlurOfTracks(o_.tracks[2], o_.tracks[3]);
    return "blur sigma " + Fixed(b.Sigma, 2) + " px, radius " + Fixed(b.Radius, 1) + " px (--range " +
           std::to_string(o_.tracks[2]) + " --variance " + std::to_string(o_.tracks[3]) + ")";
}

int App::RunStream(ByteSource& input) {
    Y4mReader reader(input);
    std::string error;
    if (!reader.ReadHeader(&error)) return Fail(InputName(), error);
    StreamFilter filter;
    if (!OpenStreamFilter(&filter)) return ExitFailure;
    Y4mWriter writer(out_.Sink());

    std::int64_t total = -1;
    if (inputFileBytes_ != 0)
        total = EstimateFrameCount(inputFileBytes_, reader.HeaderBytes(), reader.Format());
    if (o_.maxFrames >= 0) total = total < 0 ? o_.maxFrames : std::min(total, o_.maxFrames);
    progress_.Start(total);
    const StreamResult result = velgarde::RunStream(reader, writer, *filter.processor, StreamSettingsFor(filter), &progress_);
    const std::string objection = replacesInput_ ? InPlaceObjection() : "";
    input_.Close();  // read to its end; an in-place output may now replace it

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
        report_.Fail(InputName(), result.error + "; the " + std::to_string(result.frames) + " good frame" +
                                      (result.frames == 1 ? " before it was" : "s before it were") + " written to " +
                                      OutputName());
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
    input_.Close();
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
    int threads = 1;
    std::unique_ptr<LumaProcessor> processor = OpenFilter(&threads);
    if (!processor) return ExitFailure;
    Image& image = decoded.image;
    progress_.Step("sharpening " + stage, -1);
    const Image before = o_.show != TChangeView::Picture ? image : Image();
    if (!SharpenImage(&image, *processor, &error)) {
        progress_.Finish(false, 0, 0, 0, true);
        return FailModule(error);
    }
    processor.reset();  // its frames are not needed to encode
    ShowChange(before, &image, o_.show);
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

void App::WarnIgnoredSettings(bool image, bool video, const VideoEncoding* encoding) {
    const std::string output = OutputName();
    if (o_.qualityGiven && format_ != OutputFormat::Jpeg)
        Warn("--quality", std::string("does nothing for ") + (video ? "video" : FormatName(format_)) +
                              " output: it sets the JPEG quality" + (video ? " (--crf sets the video's)" : ""));
    if (!video && (!o_.codec.empty() || o_.crf >= 0))
        Warn(!o_.codec.empty() ? "--codec" : "--crf", "does nothing for " + std::string(FormatName(format_)) +
                                                          " output: it is for video files");
    if (encoding != nullptr && o_.crf >= 0 && !encoding->qualityApplies)
        Warn("--crf", "does nothing for " + encoding->encoder + ", which takes no quality number" +
                          (encoding->lossless ? " (it is lossless)" : ""));
    if (image && o_.fieldsGiven) Warn("--fields", "does nothing for images: they have no fields");
    if (image && o_.maxFrames >= 0) Warn("--frames", "does nothing for images");
}

int App::RunVideo(const std::string& video, const VideoContainer* container, ByteSource& input) {
    FfmpegTools tools;
    std::string error;
    if (!FindFfmpeg(o_.ffmpeg, !video.empty(), &tools, &error)) return Fail(video.empty() ? OutputName() : InputName(), error);

    // What the input holds, and so how each part of it is written.
    VideoProbe probe;
    const ProbedStream* picture = nullptr;
    if (!video.empty()) {
        if (!ProbeVideoFile(tools, o_.input, &probe, &error))
            return Fail(InputName(), "ffprobe cannot read it: " + error);
        picture = probe.Picture();
        if (picture == nullptr)
            return Fail(InputName(), "has no video stream to sharpen (only sound, subtitles or a cover picture)");
    }
    std::unique_ptr<Y4mReader> streamReader;
    PipeFormat pipe;
    if (picture != nullptr) {
        pipe = PipeFormatFor(picture->pixFmt);
    } else {
        // A YUV4MPEG2 stream into a video file: its header says the samples.
        streamReader = std::make_unique<Y4mReader>(input);
        if (!streamReader->ReadHeader(&error)) return Fail(InputName(), error);
        const Y4mFormat& f = streamReader->Format();
        pipe.bitDepth = f.bitDepth;
        const char* layouts[] = {"gray", "yuv420p", "yuv411p", "yuv422p", "yuv444p", "yuva444p"};
        pipe.pixFmt = layouts[static_cast<int>(f.chroma)];
        if (f.bitDepth > 8) pipe.pixFmt += std::to_string(f.bitDepth) + "le";
    }
    VideoEncoding encoding;
    StreamPlan others;
    if (container != nullptr) {
        EncoderList encoders;
        if (!ListVideoEncoders(tools, &encoders, &error))
            return Fail(tools.ffmpeg, "cannot list its encoders: " + error);
        EncodingRequest request;
        request.codec = o_.codec;
        request.quality = o_.crf;
        if (!ChooseEncoding(picture != nullptr ? &probe : nullptr, pipe, *container, encoders, request, &encoding,
                            &error))
            return Fail(OutputName(), error, ExitUsage);
        if (picture != nullptr) others = PlanOtherStreams(probe, *container);
    }
    WarnIgnoredSettings(false, container != nullptr, container != nullptr ? &encoding : nullptr);
    if (pipe.fromRgb) Warn(InputName(), "RGB video is sharpened as 4:4:4 YUV; the conversions there and back round");
    if (pipe.alphaDropped) Warn(InputName(), "its alpha channel is not kept (" + picture->pixFmt + ")");
    if (pipe.depthReduced) Warn(InputName(), "its " + picture->pixFmt + " samples are carried as 12 bits");

    module_ = o_.plugin;  // none: the engine built into the tool
    if (!(container != nullptr ? out_.OpenForProgram(o_.output, &error, o_.force)
                               : out_.Open(o_.output, &error, o_.force)))
        return Fail(OutputName(), error);
    PrintNotes();

    // The picture: decoded by ffmpeg into a YUV4MPEG2 pipe, or the stream itself.
    ChildProcess decoder;
    std::unique_ptr<FileSource> decoded;
    if (picture != nullptr) {
        if (!decoder.Start(tools.ffmpeg, DecoderArguments(o_.input, *picture, pipe), false, true, &error))
            return Fail(tools.ffmpeg, error);
        decoded = std::make_unique<FileSource>(decoder.Stdout());
        streamReader = std::make_unique<Y4mReader>(*decoded);
        if (!streamReader->ReadHeader(&error)) {
            decoder.Wait();
            return Fail(InputName(), "ffmpeg cannot decode it: " + LastMessageLine(decoder.Messages(), error));
        }
    }
    Y4mReader& reader = *streamReader;
    StreamFilter filter;
    if (!OpenStreamFilter(&filter)) return ExitFailure;

    ChildProcess encoder;
    std::unique_ptr<FileSink> encoderInput;
    if (container != nullptr) {
        encoder.PassFile(out_.File());
        if (!encoder.Start(tools.ffmpeg,
                           EncoderArguments(o_.input, picture != nullptr ? &probe : nullptr, encoding,
                                            picture != nullptr ? &others : nullptr, *container, out_.ProgramPath()),
                           true, false, &error))
            return Fail(tools.ffmpeg, error);
        encoderInput = std::make_unique<FileSink>(encoder.Stdin());
    }
    Y4mWriter writer(container != nullptr ? static_cast<ByteSink&>(*encoderInput) : out_.Sink());

    std::int64_t total = picture != nullptr ? probe.FrameCount() : -1;
    if (picture == nullptr && inputFileBytes_ != 0)
        total = EstimateFrameCount(inputFileBytes_, reader.HeaderBytes(), reader.Format());
    if (o_.maxFrames >= 0) total = total < 0 ? o_.maxFrames : std::min(total, o_.maxFrames);
    progress_.Start(total);
    StreamResult result = velgarde::RunStream(reader, writer, *filter.processor, StreamSettingsFor(filter), &progress_);
    using F = StreamResult::Failure;
    if (result.failure == F::None && encoderInput != nullptr && !encoderInput->Flush()) {
        result.failure = F::Output;
        result.error = encoderInput->Error();
    }
    // Done with both: the decoder stops at its next write if it has more.
    const bool stoppedEarly = o_.maxFrames >= 0 && result.frames >= o_.maxFrames;
    const int decoderStatus = picture != nullptr ? decoder.Wait() : 0;
    const int encoderStatus = container != nullptr ? encoder.Wait() : 0;
    const std::string objection = replacesInput_ ? InPlaceObjection() : "";
    input_.Close();
    const Y4mFormat& f = reader.Format();

    const auto abort = [&](int status, const std::string& what, const std::string& problem) {
        out_.Abort();
        progress_.Finish(false, result.frames, f.width, f.height, false);
        return Fail(what, problem, status);
    };
    if (result.failure == F::Filter)
        return abort(ExitFailure, module_, "frame " + std::to_string(result.frames + 1) + ": " + result.error);
    if (container != nullptr && (encoderStatus != 0 || result.failure == F::Output))
        return abort(ExitFailure, OutputName(),
                     "ffmpeg could not write it: " +
                         LastMessageLine(encoder.Messages(), "it stopped (status " + std::to_string(encoderStatus) + ")") +
                         (std::string(container->muxer) == "matroska" ? "" : " (.mkv holds every kind of stream)"));
    if (result.failure == F::Output)
        return OutputFailed(result.error, " after " + std::to_string(result.frames) + " frames");
    // Damage the decoder met, or a cut stream: the good frames are kept.
    std::string damage;
    if (picture != nullptr && !stoppedEarly && (decoderStatus != 0 || !decoder.Messages().empty()))
        damage = "ffmpeg: " + LastMessageLine(decoder.Messages(), "it stopped (status " + std::to_string(decoderStatus) + ")");
    if (result.failure == F::Input && damage.empty()) damage = result.error;
    const bool readError = result.failure == F::Input && !input.Error().empty() && picture == nullptr;
    if (readError) return abort(ExitFailure, InputName(), result.error);
    if (!damage.empty() && result.frames == 0) return abort(ExitFailure, InputName(), damage);
    if (replacesInput_ && (!damage.empty() || !objection.empty()))
        return abort(ExitFailure, InputName(),
                     (damage.empty() ? objection : damage) + "; nothing written: --in-place leaves it as it was");
    if (!out_.Commit(&error)) {
        progress_.Finish(false, result.frames, 0, 0, false);
        return OutputFailed(error);
    }
    std::string extra = SettingsNote();
    if (container != nullptr) {
        extra += std::string(extra.empty() ? "" : ", ") + "encoded as " + encoding.description +
                 (encoding.reason.empty() ? "" : ", " + encoding.reason);
        if (others.copied > 0)
            extra += ", " + std::to_string(others.copied) + " other stream" + (others.copied == 1 ? "" : "s") + " kept";
    }
    if (result.fieldFrames > 0) extra += std::string(extra.empty() ? "" : ", ") + "per field";
    progress_.Finish(damage.empty(), result.frames, f.width, f.height, false, extra);
    for (const auto& note : others.notes) Warn(OutputName(), note);
    if (damage.empty()) return ExitOk;
    report_.Fail(InputName(), "damaged: " + damage + "; the " + std::to_string(result.frames) + " good frame" +
                                  (result.frames == 1 ? " before it was" : "s before it were") + " written to " +
                                  OutputName());
    return ExitDamagedInput;
}

std::string App::InPlaceObjection() {
    // Another program still writing the file: what was read is not all of it.
    FileInfo now;
    if (StatOpenFile(input_.File(), &now) && now.size != inputFileBytes_)
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
    const std::string refusal = OutputRefusal(o_.output, c_.stdoutIsTerminal, o_.force);
    if (!refusal.empty()) return Fail(OutputName(), refusal);

    std::string error;
    if (!input_.Open(o_.input, &error)) return Fail(InputName(), error);
    const FileInfo& inputInfo = input_.Info();
    if (inputInfo.regular) inputFileBytes_ = inputInfo.size;
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

    ByteSource& fileSource = input_.Source();
    // The first bytes tell a stream from a video file and an image.
    // A stream's signature first: a producer may not have written more yet.
    std::vector<std::uint8_t> head(9);
    head.resize(fileSource.Read(head.data(), head.size()));
    const bool isStream = head.size() == 9 && std::memcmp(head.data(), "YUV4MPEG2", 9) == 0;
    if (!isStream && head.size() == 9) {
        head.resize(189);
        head.resize(9 + fileSource.Read(head.data() + 9, head.size() - 9));
    }
    if (!fileSource.Error().empty()) return Fail(InputName(), "read failed: " + fileSource.Error());
    if (head.empty()) return EmptyInput();
    std::string video = isStream ? "" : SniffVideoContainer(head);
    // Some containers have no signature at their start: their name decides.
    if (video.empty() && !isStream && o_.input != "-" && ImageKind(head).empty())
        if (const VideoContainer* named = VideoContainerForName(o_.input)) video = named->name;

    // The output's format: --format, else its name, else the input's kind.
    format_ = o_.format;
    if (format_ == OutputFormat::Auto && o_.output != "-") FormatFromName(o_.output, &format_);
    const VideoContainer* container =
        format_ == OutputFormat::Auto && o_.output != "-" ? VideoContainerForName(o_.output) : nullptr;
    if (format_ == OutputFormat::Auto) format_ = isStream || !video.empty() ? OutputFormat::Y4m : OutputFormat::Png;
    const std::string videoNames = "a video file (" + VideoExtensionList() + ")";
    if (!video.empty() && format_ != OutputFormat::Y4m && container == nullptr)
        return Fail(OutputName(),
                    "the input is a video (" + video + "), written as " + videoNames + " or as .y4m, not " +
                        FormatName(format_) + "; for one frame as a picture: ffmpeg -i " + InputName() +
                        " -frames:v 1 frame.png",
                    ExitUsage);
    if (isStream && format_ != OutputFormat::Y4m && container == nullptr)
        return Fail(OutputName(),
                    std::string("the input is a YUV4MPEG2 stream, which is written as .y4m or as ") + videoNames +
                        ", not " + FormatName(format_),
                    ExitUsage);
    if (!isStream && video.empty() && (format_ == OutputFormat::Y4m || container != nullptr))
        return Fail(OutputName(),
                    "the input is an image, which is written as " + WrittenExtensions() + ", not " +
                        (container != nullptr ? container->name : "YUV4MPEG2"),
                    ExitUsage);
    if (!video.empty() && o_.input == "-")
        return Fail(InputName(),
                    "a video file (" + video + ") on stdin cannot be read twice, for its picture and then its "
                    "sound: give its name (velgarde in.mp4 out.mp4), or pipe the picture: ffmpeg -i in.mp4 -f "
                    "yuv4mpegpipe - | velgarde - - | ffmpeg -f yuv4mpegpipe -i - -i in.mp4 -map 0:v -map 1:a? "
                    "-c:a copy out.mp4",
                    ExitUsage);
    if (!video.empty() || container != nullptr) {
        PrefixedSource source(std::move(head), fileSource);
        const int status = RunVideo(video, container, source);
        out_.Abort();
        PrintNotes();
        return status;
    }
    WarnIgnoredSettings(!isStream, false, nullptr);

    // Everything that can fail before the first frame is filtered does.
    module_ = o_.plugin;  // none: the engine built into the tool
    if (!out_.Open(o_.output, &error, o_.force)) return Fail(OutputName(), error);
    PrintNotes();
    PrefixedSource source(std::move(head), fileSource);
    const int status = isStream ? RunStream(source) : RunImage(source);
    out_.Abort();  // nothing, if committed
    PrintNotes();
    return status;
}

}  // namespace

int RunVelgarde(const std::vector<std::string>& args, const AppContext& context) {
    Options options;
    std::string error;
    if (!ParseOptions(args, &options, &error)) {
        Reporter("velgarde", context.messages).Say(error + "\nTry 'velgarde --help' for more.");
        return ExitUsage;
    }
    App app(options, context);
    return app.Run();
}

}  // namespace velgarde
