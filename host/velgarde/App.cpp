#include "host/velgarde/App.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "host/velgarde/DemoScene.h"
#include "host/velgarde/HostProcessor.h"
#include "host/velgarde/ImageIO.h"
#include "host/velgarde/ImageSharpen.h"
#include "host/velgarde/Options.h"
#include "host/velgarde/OutputFile.h"
#include "host/velgarde/Progress.h"
#include "host/velgarde/StreamJob.h"
#include "host/velgarde/Y4mReader.h"
#include "host/velgarde/Y4mWriter.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#ifndef VELGARDE_VERSION
#define VELGARDE_VERSION "unknown"
#endif

namespace velgarde {
namespace {

constexpr std::size_t kMaxImageFileBytes = std::size_t{512} << 20;

class App {
public:
    App(const Options& options, const AppContext& context)
        : o_(options), c_(context), progress_(context.messages, context.messagesAreTerminal, options.quiet) {}

    int Run();

private:
    int Fail(const std::string& what, const std::string& problem) {
        std::fprintf(c_.messages, "velgarde: %s: %s\n", what.c_str(), problem.c_str());
        return ExitFailure;
    }
    // The host's messages already start with the module's path.
    int FailModule(const std::string& problem, const std::string& context = "") {
        const std::string path = ModulePath();
        std::string rest = problem;
        if (rest.compare(0, path.size() + 2, path + ": ") == 0) rest = rest.substr(path.size() + 2);
        return Fail(path, context + rest);
    }
    std::string InputName() const { return o_.input == "-" ? "stdin" : o_.input; }
    std::string OutputName() const { return o_.output == "-" ? "stdout" : o_.output; }
    std::string ModulePath() const {
        return o_.plugin.empty() ? DefaultModulePath(c_.argv0) : o_.plugin;
    }
    int WriteDemoInput();
    int RunStream(ByteSource& input);
    int RunImage(ByteSource& input);
    bool OpenFilter(HostProcessor* processor);

    const Options& o_;
    const AppContext& c_;
    Progress progress_;
    std::uint64_t inputFileBytes_ = 0;  // 0 unless the input is a regular file
};

bool App::OpenFilter(HostProcessor* processor) {
    std::string error;
    if (processor->Open(ModulePath(), o_.threads, o_.tracks, &error)) return true;
    FailModule(error);
    return false;
}

int App::WriteDemoInput() {
    const Image scene = DemoScene();
    OutputFile out;
    std::string error;
    if (!out.Open(o_.demoPath, &error) || !EncodePng(scene, out.Sink(), &error) ||
        !out.Commit(&error))
        return Fail(o_.demoPath == "-" ? "stdout" : o_.demoPath, error);
    return ExitOk;
}

int App::RunStream(ByteSource& input) {
    Y4mReader reader(input);
    std::string error;
    if (!reader.ReadHeader(&error)) return Fail(InputName(), error);
    HostProcessor processor;
    if (!OpenFilter(&processor)) return ExitFailure;
    OutputFile out;
    if (!out.Open(o_.output, &error)) return Fail(OutputName(), error);
    Y4mWriter writer(out.Sink());

    std::int64_t total = -1;
    if (inputFileBytes_ != 0)
        total = EstimateFrameCount(inputFileBytes_, reader.HeaderBytes(), reader.Format());
    if (o_.maxFrames >= 0) total = total < 0 ? o_.maxFrames : std::min(total, o_.maxFrames);
    progress_.Start(total);
    const StreamResult result = velgarde::RunStream(reader, writer, processor, o_.maxFrames, &progress_);
    if (result.failure == StreamResult::Failure::None && !out.Commit(&error)) {
        progress_.Finish(false, result.frames, 0, 0, false);
        return Fail(OutputName(), error);
    }
    const Y4mFormat& f = reader.Format();
    progress_.Finish(result.failure == StreamResult::Failure::None, result.frames, f.width, f.height,
                     false);
    switch (result.failure) {
    case StreamResult::Failure::None: return ExitOk;
    case StreamResult::Failure::Input: return Fail(InputName(), result.error);
    case StreamResult::Failure::Output: return Fail(OutputName(), result.error);
    case StreamResult::Failure::Filter:
        return FailModule(result.error, "frame " + std::to_string(result.frames + 1) + ": ");
    }
    return ExitFailure;
}

int App::RunImage(ByteSource& input) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadAll(input, kMaxImageFileBytes, &bytes, &error)) return Fail(InputName(), error);
    if (bytes.empty()) return Fail(InputName(), "empty input");
    Image image;
    bool reduced = false;
    if (!DecodeImage(bytes, ImageLimits{}, &image, &reduced, &error)) return Fail(InputName(), error);
    bytes.clear();
    bytes.shrink_to_fit();
    if (reduced && !o_.quiet)
        std::fprintf(c_.messages, "velgarde: %s: 16-bit image reduced to 8 bits\n",
                     InputName().c_str());
    HostProcessor processor;
    if (!OpenFilter(&processor)) return ExitFailure;
    progress_.Start(1);
    if (!SharpenImage(&image, processor, &error)) return FailModule(error);
    OutputFile out;
    if (!out.Open(o_.output, &error) || !EncodePng(image, out.Sink(), &error) ||
        !out.Commit(&error))
        return Fail(OutputName(), error);
    progress_.Finish(true, 1, image.width, image.height, true);
    return ExitOk;
}

int App::Run() {
    switch (o_.action) {
    case Options::Action::Help: std::fputs(HelpText().c_str(), stdout); return ExitOk;
    case Options::Action::Version: std::printf("velgarde %s\n", VELGARDE_VERSION); return ExitOk;
    case Options::Action::WriteDemoInput: return WriteDemoInput();
    case Options::Action::Run: break;
    }

    std::FILE* file = nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, std::fclose);
    if (o_.input == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file = stdin;
    } else {
        errno = 0;
        file = std::fopen(o_.input.c_str(), "rb");
        if (file == nullptr)
            return Fail(InputName(), std::string("cannot open: ") + std::strerror(errno));
        owned.reset(file);
        struct stat st;
        if (stat(o_.input.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG)
            inputFileBytes_ = static_cast<std::uint64_t>(st.st_size);
    }
    FileSource fileSource(file);
    // The first bytes tell a stream from an image.
    std::vector<std::uint8_t> head(9);
    head.resize(fileSource.Read(head.data(), head.size()));
    if (!fileSource.Error().empty()) return Fail(InputName(), "read failed: " + fileSource.Error());
    if (head.empty()) return Fail(InputName(), "empty input");
    const bool isStream = head.size() == 9 && std::memcmp(head.data(), "YUV4MPEG2", 9) == 0;
    PrefixedSource source(std::move(head), fileSource);
    return isStream ? RunStream(source) : RunImage(source);
}

}  // namespace

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
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
