#include "filter/RgbaSharpener.h"

#include "filter/ThreadSlots.h"

TRgbaSharpener::TRgbaSharpener(TThreadPool& UsePool) : Pool(UsePool), Pictures(ThreadSlotsFor(ProcessorCount())) {}

bool TRgbaSharpener::Process(std::uint8_t* Pixels, int W, int H, std::ptrdiff_t Stride) noexcept {
    return Process(Pool, Pixels, Pixels, W, H, Stride);
}

bool TRgbaSharpener::Process(const std::uint8_t* In, std::uint8_t* Out, int W, int H,
                             std::ptrdiff_t Stride) noexcept {
    return Process(Pool, In, Out, W, H, Stride);
}

bool TRgbaSharpener::Process(TThreadPool& FramePool, const std::uint8_t* In, std::uint8_t* Out, int W, int H,
                             std::ptrdiff_t Stride) noexcept {
    static const PixelFormat Rgba = RgbaFormat();
    return Pictures.Process(FramePool, Rgba, In, Out, W, H, Stride);
}
