// Buffers with guard zones around them, the frames the tests build on them,
// their fills and where two of them first differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plugin/AviUtlPlugin.h"

// Under AddressSanitizer (GCC's and clang's spelling) bytes a kernel must not
// touch are poisoned, so that a read fails the test as well as a write.
#if defined(__SANITIZE_ADDRESS__)
#define VELGARDE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELGARDE_ASAN 1
#endif
#endif
#if defined(VELGARDE_ASAN)
#include <sanitizer/asan_interface.h>
#define VELGARDE_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VELGARDE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VELGARDE_POISON(p, n) ((void)(p), (void)(n))
#define VELGARDE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace velgarde_test {

constexpr std::size_t GuardBytes = 64;
constexpr unsigned char GuardByte = 0xA5;

// Whether every byte of [Begin, End) still holds the guard value.
bool GuardIntact(const unsigned char* Begin, const unsigned char* End);

// Bytes with a guard zone on both sides, the payload 16-byte aligned.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t Bytes);
    unsigned char* Data() { return Storage.data() + Offset; }
    std::size_t Bytes() const { return Size; }
    void Fill(unsigned char Value) { std::memset(Data(), Value, Size); }
    bool GuardsIntact() const;

private:
    std::size_t Size;
    std::size_t Offset = 0;
    std::vector<unsigned char> Storage;
};

// A frame of 6-byte pixels, MaxWidth pixels per row, for the kernel tests.
struct TestFrame {
    int Width, Height, MaxWidth;
    GuardedBuffer Buffer;
    TestFrame(int W, int H, int M)
        : Width(W), Height(H), MaxWidth(M), Buffer(std::size_t(M) * 6 * std::size_t(H)) {}
    unsigned char* Pixel(int y, int x) { return Buffer.Data() + (std::size_t(y) * MaxWidth + x) * 6; }
    std::int16_t Y(int y, int x) {
        std::int16_t v;
        std::memcpy(&v, Pixel(y, x), 2);
        return v;
    }
    void SetY(int y, int x, std::int16_t v) { std::memcpy(Pixel(y, x), &v, 2); }
    // Pixels at or beyond the width: no kernel may read or write them.
    void PoisonPadding() {
        for (int y = 0; y < Height; ++y)
            if (MaxWidth > Width) VELGARDE_POISON(Pixel(y, Width), std::size_t(MaxWidth - Width) * 6);
    }
    void UnpoisonPadding() { VELGARDE_UNPOISON(Buffer.Data(), Buffer.Bytes()); }
};

// Every byte random; Y within [Lo, Hi].
void FillFrame(TestFrame& F, std::mt19937& Rng, int Lo, int Hi);

// A frame of maxWidth x height pixels between two guard zones, and a work
// buffer of exactly the plane's size (16-byte aligned) followed by a guard:
// the host's frame record on buffers the tests check byte for byte. Copies
// compare equal, guards included.
struct GuardedFrame {
    int Width = 0;
    int Height = 0;
    int MaxWidth = 0;
    std::vector<unsigned char> Bytes;
    std::vector<unsigned char> TempStorage;
    std::size_t TempOffset = 0;
    std::size_t TempSize = 0;

    GuardedFrame(int width, int height, int maxWidth);
    PixelYC* Pixels() { return reinterpret_cast<PixelYC*>(Bytes.data() + GuardBytes); }
    PixelYC& At(int x, int y) {
        return Pixels()[static_cast<std::size_t>(y) * static_cast<std::size_t>(MaxWidth) + static_cast<std::size_t>(x)];
    }
    void* Temp() { return TempStorage.data() + TempOffset; }
    ProcInfo Info();
    bool TempGuardIntact() const;
    // Every pixel of the buffer (padding included) random; Y by one of three
    // patterns: full 16-bit range, video range, or a smooth ramp with noise.
    void Fill(std::mt19937& random);
};

// Where two buffers first differ, for a readable failure: "" when they are
// equal. Bytes before FrameAt are the guard in front of a frame of 6-byte
// pixels.
std::string FirstDifference(const std::vector<unsigned char>& Got, const std::vector<unsigned char>& Want,
                            std::size_t FrameAt = GuardBytes);
// A frame's bytes, guards included, against what they should be.
inline std::string FrameDifference(const GuardedFrame& Frame, const std::vector<unsigned char>& Want) {
    return FirstDifference(Frame.Bytes, Want);
}

}  // namespace velgarde_test
