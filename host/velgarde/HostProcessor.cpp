#include "host/velgarde/HostProcessor.h"

#include "host/velgarde/Options.h"

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
    for (const auto& t : kTrackOptions) {
        if (table.TrackMinimums[t.index] != t.minimum || table.TrackMaximums[t.index] != t.maximum) {
            *error = "not the Velgarde filter: track " + std::to_string(t.index) + " runs " +
                     std::to_string(table.TrackMinimums[t.index]) + " to " +
                     std::to_string(table.TrackMaximums[t.index]) + ", expected " +
                     std::to_string(t.minimum) + " to " + std::to_string(t.maximum);
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

std::string DefaultModulePath(const char* argv0) {
#if defined(_WIN32)
    const char* name = "Tarnwick.auf";
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (n == 0) {
            exe = argv0 != nullptr ? argv0 : "";
            break;
        }
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
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
    if (slash == std::string::npos) return std::string(".") + "/" + name;
    return exe.substr(0, slash + 1) + name;
}

}  // namespace velgarde
