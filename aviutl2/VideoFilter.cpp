#include "aviutl2/VideoFilter.h"

#include <cstdint>
#include <vector>

#include "filter/ChangeView.h"
#include "filter/RgbaSharpener.h"

bool SharpenObject(TModuleState& State, const Auf2TrackItem* Items, const Auf2CheckItem& ShowChange,
                   const Auf2ProcVideo* Video) noexcept {
    if (Video == nullptr || Video->Object == nullptr || Video->GetImageData == nullptr ||
        Video->SetImageData == nullptr)
        return false;
    // Before the picture is fetched: the host may give the shared items the
    // next object's values once it has handed this one its picture.
    const TrackValues Settings = ReadTrackValues(Items);
    const bool View = ReadCheck(ShowChange);
    const std::int32_t Width = Video->Object->Width;
    const std::int32_t Height = Video->Object->Height;
    if (Width < 0 || Height < 0) return false;
    if (Width == 0 || Height == 0) return true;
    // No amount in either direction changes no pixel: the host's picture stands.
    if (Settings[TrackAmountPlus] == 0 && Settings[TrackAmountMinus] == 0 && !View) return true;

    try {
        TEngineCache::TLease Lease = State.Cache.Acquire(Settings);
        if (!Lease) return false;
        // Both below 2^31: the product fits 64 bits with room for the 4 bytes.
        const std::uint64_t Bytes = std::uint64_t(Width) * std::uint64_t(Height) * 4u;
        if (Bytes > SIZE_MAX) return false;
        std::uint8_t* Pixels = Lease.Picture(static_cast<std::size_t>(Bytes));
        if (Pixels == nullptr) return false;
        Video->GetImageData(reinterpret_cast<Auf2PixelRgba*>(Pixels));
        const std::vector<std::uint8_t> Before = View ? std::vector<std::uint8_t>(Pixels, Pixels + Bytes)
                                                      : std::vector<std::uint8_t>();
        {
            std::lock_guard<std::mutex> Turn(State.PoolTurn);
            if (!Lease.Sharpener().Process(Pixels, Width, Height, std::ptrdiff_t{Width} * 4)) return false;
        }
        if (View) ChangeViewPixels(Before.data(), Pixels, 4, Bytes / 4, TChangeView::Change, Pixels);
        Video->SetImageData(reinterpret_cast<Auf2PixelRgba*>(Pixels), Width, Height);
        return true;
    } catch (...) {
        return false;
    }
}
