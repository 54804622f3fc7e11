// The frei0r entry points: one filter, RGBA8888, five double parameters and
// the change view's switch.
// Each instance owns its engine and buffers; frame work runs on the pool the
// instances share (frei0r/SharedPool.h).
//
// Nothing thrown may reach the host: every entry point catches, and a frame
// that cannot be sharpened is passed through unchanged.
// frei0r.h declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "filter/ChangeView.h"
#include "filter/RgbaSharpener.h"
#include "filter/TrackParameters.h"
#include "frei0r/Frei0rParameters.h"
#include "frei0r/SharedPool.h"

#define VELGARDE_F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Instance {
    explicit Instance(TThreadPool& Pool) : Sharpener(Pool) {
        for (int i = 0; i < TrackCount; ++i) Tracks[i] = TrackDefaults[i];
    }
    TRgbaSharpener Sharpener;
    std::int32_t Tracks[TrackCount];
    bool Changed = true;  // the tracks have not reached the engine yet
    bool ShowChange = false;
    std::vector<std::uint8_t> Before;  // the frame as it came, for a view made in place
    unsigned Width = 0;
    unsigned Height = 0;
};

// Frames are width x height x 4 bytes: the sides must fit the engine's int
// geometry and the byte count a ptrdiff_t (32 bits on i686).
bool IsServableSize(unsigned Width, unsigned Height) {
    constexpr unsigned long long Largest = static_cast<unsigned long long>(PTRDIFF_MAX);
    return Width <= static_cast<unsigned>(std::numeric_limits<int>::max()) &&
           Height <= static_cast<unsigned>(std::numeric_limits<int>::max()) &&
           static_cast<unsigned long long>(Width) * Height * 4 <= Largest;
}

bool IsTrack(int Index) { return Index >= 0 && Index < TrackCount; }

// After the five tracks: a switch that writes the change view (filter/ChangeView.h).
constexpr int ShowChangeIndex = TrackCount;

}  // namespace

VELGARDE_F0R_EXPORT int f0r_init() { return 1; }

VELGARDE_F0R_EXPORT void f0r_deinit() {
    try {
        DropIdleSharedPool();
    } catch (...) {
    }
}

VELGARDE_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* Info) {
    if (Info == nullptr) return;
    Info->name = "Velgarde";
    Info->author = "Velgarde developers";
    Info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    Info->color_model = F0R_COLOR_MODEL_RGBA8888;
    Info->frei0r_version = FREI0R_MAJOR_VERSION;
    Info->major_version = 0;
    Info->minor_version = 9;
    Info->num_params = TrackCount + 1;
    Info->explanation = "Sharpens the picture's brightness by unsharp masking, with separate strengths "
                        "for the light and the dark side of edges; colour and alpha are kept";
}

VELGARDE_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* Info, int Index) {
    if (Info == nullptr) return;
    if (Index == ShowChangeIndex) {
        Info->name = "Show change";
        Info->type = F0R_PARAM_BOOL;
        Info->explanation = "Shows what sharpening changes instead of the picture: mid-grey where nothing "
                            "changes, lighter where it brightens, darker where it darkens";
        return;
    }
    if (!IsTrack(Index)) return;
    Info->name = Frei0rParameterTexts[Index].Name;
    Info->type = F0R_PARAM_DOUBLE;
    Info->explanation = Frei0rParameterTexts[Index].Explanation;
}

VELGARDE_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int Width, unsigned int Height) {
    if (!IsServableSize(Width, Height)) return nullptr;
    bool HoldsPool = false;
    try {
        TThreadPool& Pool = AcquireSharedPool();
        HoldsPool = true;
        Instance* Made = new Instance(Pool);
        Made->Width = Width;
        Made->Height = Height;
        return Made;
    } catch (...) {
        try {
            if (HoldsPool) ReleaseSharedPool();
        } catch (...) {
        }
        return nullptr;
    }
}

VELGARDE_F0R_EXPORT void f0r_destruct(f0r_instance_t Handle) {
    if (Handle == nullptr) return;
    delete static_cast<Instance*>(Handle);
    try {
        ReleaseSharedPool();
    } catch (...) {
    }
}

VELGARDE_F0R_EXPORT void f0r_set_param_value(f0r_instance_t Handle, f0r_param_t Param, int Index) {
    if (Handle == nullptr || Param == nullptr) return;
    Instance& Self = *static_cast<Instance*>(Handle);
    // frei0r's booleans are doubles, on from 0.5; NaN is off.
    if (Index == ShowChangeIndex) Self.ShowChange = *static_cast<const double*>(Param) >= 0.5;
    if (!IsTrack(Index)) return;
    const std::int32_t Track = TrackFromFrei0r(Index, *static_cast<const double*>(Param));
    if (Track == Self.Tracks[Index]) return;
    Self.Tracks[Index] = Track;
    Self.Changed = true;
}

VELGARDE_F0R_EXPORT void f0r_get_param_value(f0r_instance_t Handle, f0r_param_t Param, int Index) {
    if (Handle == nullptr || Param == nullptr) return;
    const Instance& Self = *static_cast<const Instance*>(Handle);
    if (Index == ShowChangeIndex) *static_cast<double*>(Param) = Self.ShowChange ? 1.0 : 0.0;
    if (!IsTrack(Index)) return;
    *static_cast<double*>(Param) = Frei0rFromTrack(Index, Self.Tracks[Index]);
}

VELGARDE_F0R_EXPORT void f0r_update(f0r_instance_t Handle, double, const std::uint32_t* In,
                                    std::uint32_t* Out) {
    if (Handle == nullptr || In == nullptr || Out == nullptr) return;
    Instance& Self = *static_cast<Instance*>(Handle);
    const std::size_t Bytes = std::size_t{Self.Width} * Self.Height * 4;
    if (Bytes == 0) return;
    if (Self.Changed) {
        // A blur that cannot be rebuilt keeps the previous one; try again
        // with the next frame.
        Self.Changed = !Self.Sharpener.SetParameters(ConvertTrackValues(Self.Tracks));
    }
    const std::uint8_t* From = reinterpret_cast<const std::uint8_t*>(In);
    std::uint8_t* To = reinterpret_cast<std::uint8_t*>(Out);
    const int W = static_cast<int>(Self.Width);
    const int H = static_cast<int>(Self.Height);
    const std::ptrdiff_t Stride = std::ptrdiff_t{W} * 4;
    bool Done = false;
    try {
        // In place, the view needs the frame as it came.
        if (Self.ShowChange && In == Out) {
            Self.Before.assign(From, From + Bytes);
            From = Self.Before.data();
        }
        Done = ProcessOnSharedPool(Self.Sharpener, From, To, W, H, Stride);
        if (Done && Self.ShowChange)
            ChangeViewPixels(From, To, 4, std::size_t{Self.Width} * Self.Height, TChangeView::Change, To);
    } catch (...) {
    }
    // A frame that cannot be sharpened goes out as it came.
    if (!Done && In != Out) std::memmove(Out, In, Bytes);
}
