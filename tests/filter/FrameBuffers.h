// Frame and work-plane buffers for kernel tests, with guard zones around
// them and, under AddressSanitizer, the pixels past the width poisoned so
// that any read of them fails the test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
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

// Bytes with a guard zone on both sides, the payload 16-byte aligned.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t Bytes) : Size(Bytes), Storage(Bytes + 2 * GuardBytes + 16, GuardByte) {
        const std::uintptr_t Raw = reinterpret_cast<std::uintptr_t>(Storage.data()) + GuardBytes;
        Offset = ((Raw + 15) & ~std::uintptr_t{15}) - reinterpret_cast<std::uintptr_t>(Storage.data());
    }
    unsigned char* Data() { return Storage.data() + Offset; }
    std::size_t Bytes() const { return Size; }
    void Fill(unsigned char Value) {
        for (std::size_t i = 0; i < Size; ++i) Data()[i] = Value;
    }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < Offset; ++i)
            if (Storage[i] != GuardByte) return false;
        for (std::size_t i = Offset + Size; i < Storage.size(); ++i)
            if (Storage[i] != GuardByte) return false;
        return true;
    }

private:
    std::size_t Size;
    std::size_t Offset = 0;
    std::vector<unsigned char> Storage;
};

// A frame of 6-byte pixels, MaxWidth pixels per row.
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
inline void FillFrame(TestFrame& F, std::mt19937& Rng, int Lo, int Hi) {
    std::uniform_int_distribution<int> Byte(0, 255), Luma(Lo, Hi);
    for (std::size_t i = 0; i < F.Buffer.Bytes(); ++i) F.Buffer.Data()[i] = static_cast<unsigned char>(Byte(Rng));
    for (int y = 0; y < F.Height; ++y)
        for (int x = 0; x < F.Width; ++x) F.SetY(y, x, static_cast<std::int16_t>(Luma(Rng)));
}

}  // namespace velgarde_test
