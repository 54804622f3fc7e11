#include "tests/support/Buffers.h"

namespace velgarde_test {

bool GuardIntact(const unsigned char* Begin, const unsigned char* End) {
    for (const unsigned char* p = Begin; p < End; ++p)
        if (*p != GuardByte) return false;
    return true;
}

GuardedBuffer::GuardedBuffer(std::size_t Bytes) : Size(Bytes), Storage(Bytes + 2 * GuardBytes + 16, GuardByte) {
    const std::uintptr_t Raw = reinterpret_cast<std::uintptr_t>(Storage.data()) + GuardBytes;
    Offset = ((Raw + 15) & ~std::uintptr_t{15}) - reinterpret_cast<std::uintptr_t>(Storage.data());
}

bool GuardedBuffer::GuardsIntact() const {
    const unsigned char* Begin = Storage.data();
    return GuardIntact(Begin, Begin + Offset) && GuardIntact(Begin + Offset + Size, Begin + Storage.size());
}

void FillFrame(TestFrame& F, std::mt19937& Rng, int Lo, int Hi) {
    std::uniform_int_distribution<int> Byte(0, 255), Luma(Lo, Hi);
    for (std::size_t i = 0; i < F.Buffer.Bytes(); ++i) F.Buffer.Data()[i] = static_cast<unsigned char>(Byte(Rng));
    for (int y = 0; y < F.Height; ++y)
        for (int x = 0; x < F.Width; ++x) F.SetY(y, x, static_cast<std::int16_t>(Luma(Rng)));
}

GuardedFrame::GuardedFrame(int width, int height, int maxWidth) : Width(width), Height(height), MaxWidth(maxWidth) {
    const std::size_t frameBytes = static_cast<std::size_t>(maxWidth) * static_cast<std::size_t>(height) * 6;
    Bytes.assign(GuardBytes + frameBytes + GuardBytes, GuardByte);
    TempSize = static_cast<std::size_t>((height + 3) / 4) * static_cast<std::size_t>((width + 7) / 8 * 8) * 8;
    TempStorage.assign(TempSize + 16 + GuardBytes, GuardByte);
    const auto address = reinterpret_cast<std::uintptr_t>(TempStorage.data());
    TempOffset = (16 - address % 16) % 16;
}

ProcInfo GuardedFrame::Info() {
    ProcInfo info{};
    info.EditFrame = Pixels();
    info.TempFrame = static_cast<PixelYC*>(Temp());
    info.Width = Width;
    info.Height = Height;
    info.MaxWidth = MaxWidth;
    return info;
}

bool GuardedFrame::TempGuardIntact() const {
    return GuardIntact(TempStorage.data() + TempOffset + TempSize, TempStorage.data() + TempStorage.size());
}

void GuardedFrame::Fill(std::mt19937& random) {
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::uniform_int_distribution<int> video(0, 4096);
    std::uniform_int_distribution<int> noise(-40, 40);
    const int pattern = std::uniform_int_distribution<int>(0, 2)(random);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < MaxWidth; ++x) {
            PixelYC& p = At(x, y);
            const int value = pattern == 0   ? any(random)
                              : pattern == 1 ? video(random)
                                             : (x * 37 + y * 23) % 4096 + noise(random);
            p.Y = static_cast<std::int16_t>(value);
            p.Cb = static_cast<std::int16_t>(any(random));
            p.Cr = static_cast<std::int16_t>(any(random));
        }
}

std::string FirstDifference(const std::vector<unsigned char>& Got, const std::vector<unsigned char>& Want,
                            std::size_t FrameAt) {
    for (std::size_t i = 0; i < Got.size() && i < Want.size(); ++i)
        if (Got[i] != Want[i]) {
            if (i < FrameAt) return "guard before the frame, byte " + std::to_string(i);
            const std::size_t At = i - FrameAt;
            return "frame byte " + std::to_string(At) + " (pixel " + std::to_string(At / 6) + ", field " +
                   std::to_string(At % 6 / 2) + "): " + std::to_string(Got[i]) + " instead of " +
                   std::to_string(Want[i]);
        }
    return Got.size() == Want.size() ? "" : "sizes differ";
}

}  // namespace velgarde_test
