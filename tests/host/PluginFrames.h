// Frames with guard bytes and random content, the scalar model's result for
// them, and a host opened on a module: shared by the end-to-end tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "filter/Reference.h"
#include "plugin/AviUtlPlugin.h"
#include "filter/TrackParameters.h"

namespace velgarde_test {

constexpr std::size_t GuardBytes = 64;
constexpr unsigned char GuardByte = 0xA5;

// A frame of maxWidth x height pixels between two guard zones, and a work
// buffer of exactly the plane's size (16-byte aligned) followed by a guard.
struct GuardedFrame {
    int Width = 0;
    int Height = 0;
    int MaxWidth = 0;
    std::vector<unsigned char> Bytes;
    std::vector<unsigned char> TempStorage;
    std::size_t TempOffset = 0;
    std::size_t TempSize = 0;

    GuardedFrame(int width, int height, int maxWidth) : Width(width), Height(height), MaxWidth(maxWidth) {
        std::size_t frameBytes = static_cast<std::size_t>(maxWidth) * static_cast<std::size_t>(height) * 6;
        Bytes.assign(GuardBytes + frameBytes + GuardBytes, GuardByte);
        TempSize = static_cast<std::size_t>((height + 3) / 4) * static_cast<std::size_t>((width + 7) / 8 * 8) * 8;
        TempStorage.assign(TempSize + 16 + GuardBytes, GuardByte);
        auto address = reinterpret_cast<std::uintptr_t>(TempStorage.data());
        TempOffset = (16 - address % 16) % 16;
    }

    PixelYC* Pixels() { return reinterpret_cast<PixelYC*>(Bytes.data() + GuardBytes); }
    PixelYC& At(int x, int y) { return Pixels()[static_cast<std::size_t>(y) * static_cast<std::size_t>(MaxWidth) + static_cast<std::size_t>(x)]; }
    void* Temp() { return TempStorage.data() + TempOffset; }

    ProcInfo Info() {
        ProcInfo info{};
        info.EditFrame = Pixels();
        info.TempFrame = static_cast<PixelYC*>(Temp());
        info.Width = Width;
        info.Height = Height;
        info.MaxWidth = MaxWidth;
        return info;
    }

    bool TempGuardIntact() const {
        for (std::size_t i = TempOffset + TempSize; i < TempStorage.size(); ++i)
            if (TempStorage[i] != GuardByte) return false;
        return true;
    }

    // Every pixel of the buffer (padding included) random; Y by one of three
    // patterns: full 16-bit range, video range, or a smooth ramp with noise.
    void Fill(std::mt19937& random) {
        std::uniform_int_distribution<int> any(-32768, 32767);
        std::uniform_int_distribution<int> video(0, 4096);
        std::uniform_int_distribution<int> noise(-40, 40);
        const int pattern = std::uniform_int_distribution<int>(0, 2)(random);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < MaxWidth; ++x) {
                PixelYC& p = At(x, y);
                int value = pattern == 0   ? any(random)
                            : pattern == 1 ? video(random)
                                           : (x * 37 + y * 23) % 4096 + noise(random);
                p.Y = static_cast<std::int16_t>(value);
                p.Cb = static_cast<std::int16_t>(any(random));
                p.Cr = static_cast<std::int16_t>(any(random));
            }
    }
};

struct Tracks {
    std::int32_t Value[TrackCount];
};

inline Tracks RandomTracks(std::mt19937& random) {
    Tracks t{};
    for (int i = 0; i < TrackCount; ++i)
        t.Value[i] = std::uniform_int_distribution<std::int32_t>(TrackMinimums[i], TrackMaximums[i])(random);
    // Small thresholds most of the time: a large one hides the sharpening.
    if (random() % 4 != 0) t.Value[TrackThreshold] %= 40;
    return t;
}

inline Tracks DefaultTracks() {
    Tracks t{};
    for (int i = 0; i < TrackCount; ++i) t.Value[i] = TrackDefaults[i];
    return t;
}

// The whole buffer, guards included, as the scalar model leaves it.
inline std::vector<unsigned char> Expected(GuardedFrame& frame, const Tracks& tracks) {
    GuardedFrame copy = frame;
    const FilterParameters p = ConvertTrackValues(tracks.Value);
    const ReferenceSettings settings{p.Radius, p.Variance, p.Threshold, p.AmountPlus, p.AmountMinus};
    ReferenceFrame(settings, copy.Pixels(), copy.Width, copy.Height, copy.MaxWidth);
    return copy.Bytes;
}

}  // namespace velgarde_test
