#include "cli/HostProcessor.h"

#include "cli/Files.h"
#include "filter/TrackParameters.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velgarde {

bool HostProcessor::Open(const std::string& modulePath, int threads,
                         const std::array<std::int32_t, 5>& tracks, std::string* error) {
    if (!host_.Open(modulePath, threads, error)) return false;
    // A module with other tracks is not this filter, whatever it is called.
    const FilterTable& table = host_.Table();
    for (int t = 0; t < TrackCount; ++t) {
        if (table.TrackMinimums[t] != TrackMinimums[t] || table.TrackMaximums[t] != TrackMaximums[t]) {
            *error = "not the Velgarde filter: setting " + std::to_string(t) + " runs " +
                     std::to_string(table.TrackMinimums[t]) + " to " + std::to_string(table.TrackMaximums[t]) +
                     ", expected " + std::to_string(TrackMinimums[t]) + " to " + std::to_string(TrackMaximums[t]);
            host_.Close();
            return false;
        }
    }
    for (int i = 0; i < EmulatedHost::TrackCount; ++i) host_.SetTrack(i, tracks[i]);
    return true;
}

std::int16_t* HostProcessor::PrepareLuma(int width, int height, std::ptrdiff_t* step,
                                         std::string* error) {
    PixelYC* frame = host_.PrepareFrame(width, height, width);
    if (frame == nullptr) {
        *error = "cannot allocate a " + std::to_string(width) + "x" + std::to_string(height) +
                 " frame";
        return nullptr;
    }
    // The host keeps the frame while its size stays; the plug-in never
    // writes Cb and Cr, so they need clearing only when the frame is new.
    if (width != width_ || height != height_) {
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < count; ++i) frame[i] = PixelYC{0, 0, 0};
        width_ = width;
        height_ = height;
    }
    static_assert(sizeof(PixelYC) == 3 * sizeof(std::int16_t), "Y, Cb, Cr packed");
    *step = 3;
    return reinterpret_cast<std::int16_t*>(frame);
}

bool HostProcessor::Process(std::string* error) { return host_.Process(error); }

namespace {

struct PartCall {
    std::size_t count;
    const std::function<void(std::size_t, std::size_t)>* part;
};

void AVIUTL_CDECL RunPart(std::int32_t index, std::int32_t threads, void* param1, void*) {
    const auto* call = static_cast<const PartCall*>(param1);
    const std::size_t begin = call->count * static_cast<std::size_t>(index) / static_cast<std::size_t>(threads);
    const std::size_t end = call->count * static_cast<std::size_t>(index + 1) / static_cast<std::size_t>(threads);
    if (begin < end) (*call->part)(begin, end);
}

}  // namespace

void PoolParallel::For(std::size_t count, const std::function<void(std::size_t, std::size_t)>& part) {
    if (count == 0) return;
    if (count == 1 || pool_.ThreadCount() == 1) {
        part(0, count);
        return;
    }
    PartCall call{count, &part};
    pool_.Run(RunPart, &call, nullptr);
}

std::vector<std::string> DefaultModulePaths(const char* argv0) {
#if defined(_WIN32)
    const char* name = "Tarnwick.auf";
    // The wide name, so that a folder of any name is found.
    std::wstring wide(MAX_PATH, L'\0');
    std::string exe;
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
        if (n == 0) {
            exe = argv0 != nullptr ? argv0 : "";
            break;
        }
        if (n < wide.size()) {
            wide.resize(n);
            exe = Narrow(wide);
            break;
        }
        wide.resize(wide.size() * 2);
    }
    const auto slash = exe.find_last_of("\\/");
#else
    const char* name = "Tarnwick.so";
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &exe[0], exe.size());
    if (n > 0 && static_cast<std::size_t>(n) < exe.size())
        exe.resize(static_cast<std::size_t>(n));
    else
        exe = argv0 != nullptr ? argv0 : "";
    const auto slash = exe.find_last_of('/');
#endif
    const std::string folder = slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
#if defined(_WIN32)
    return {folder + name};
#else
    return {folder + name, folder + "../lib/velgarde/" + name};
#endif
}

}  // namespace velgarde
