#include "aviutl2/EngineCache.h"

#include <algorithm>
#include <new>

#include "filter/RgbaSharpener.h"
#include "util/xmmutil.h"

struct TSharpenerSlot {
    explicit TSharpenerSlot(TThreadPool& Pool) : Sharpener(Pool) {}

    TRgbaSharpener Sharpener;
    std::unique_ptr<std::uint8_t[]> Picture;
    std::size_t PictureBytes = 0;
    TrackValues Settings{};
    bool HoldsSettings = false;  // false until SetParameters succeeded
    bool Busy = false;
    bool Kept = true;            // false: dropped when the lease ends
    std::uint64_t LastUse = 0;
};

namespace {

// Range and variance make the blur (weights and plans); the others are lanes.
bool SameBlurTracks(const TrackValues& A, const TrackValues& B) {
    return A[TrackRange] == B[TrackRange] && A[TrackVariance] == B[TrackVariance];
}

}  // namespace

TEngineCache::TEngineCache(TThreadPool& Pool, std::size_t Capacity)
    : Pool(Pool), Capacity(Capacity) {}

TEngineCache::~TEngineCache() = default;

TEngineCache::TLease::TLease(TLease&& Other) noexcept : Owner(Other.Owner), Slot(Other.Slot) {
    Other.Owner = nullptr;
    Other.Slot = nullptr;
}

TEngineCache::TLease& TEngineCache::TLease::operator=(TLease&& Other) noexcept {
    if (this != &Other) {
        if (Slot) Owner->Release(Slot);
        Owner = Other.Owner;
        Slot = Other.Slot;
        Other.Owner = nullptr;
        Other.Slot = nullptr;
    }
    return *this;
}

TEngineCache::TLease::~TLease() {
    if (Slot) Owner->Release(Slot);
}

TRgbaSharpener& TEngineCache::TLease::Sharpener() const { return Slot->Sharpener; }

std::uint8_t* TEngineCache::TLease::Picture(std::size_t Bytes) const {
    if (Bytes > Slot->PictureBytes) {
        try {
            CheckAllocationFault();
        } catch (...) {
            return nullptr;
        }
        // Free first: the old picture and the new one need not both fit.
        Slot->Picture.reset();
        Slot->PictureBytes = 0;
        Slot->Picture.reset(new (std::nothrow) std::uint8_t[Bytes]);
        if (!Slot->Picture) return nullptr;
        Slot->PictureBytes = Bytes;
    }
    return Slot->Picture.get();
}

TEngineCache::TLease TEngineCache::Acquire(const TrackValues& Settings) noexcept {
    TSharpenerSlot* Slot = nullptr;
    {
        std::lock_guard<std::mutex> Guard(Lock);
        TSharpenerSlot* SameBlur = nullptr;
        TSharpenerSlot* Oldest = nullptr;
        for (const auto& Candidate : Slots) {
            if (Candidate->Busy) continue;
            if (Candidate->HoldsSettings && Candidate->Settings == Settings) {
                Slot = Candidate.get();
                break;
            }
            if (!SameBlur && Candidate->HoldsSettings && SameBlurTracks(Candidate->Settings, Settings))
                SameBlur = Candidate.get();
            if (!Oldest || Candidate->LastUse < Oldest->LastUse) Oldest = Candidate.get();
        }
        // A slot with the same blur takes new amounts and threshold without
        // rebuilding anything: an object whose amount is animated keeps
        // reusing its own slot instead of filling the cache with old frames.
        if (!Slot) Slot = SameBlur;
        if (!Slot && Slots.size() >= Capacity) Slot = Oldest;
        if (Slot) {
            Slot->Busy = true;
            Slot->LastUse = ++Clock;
        }
    }
    if (!Slot) {
        // A new sharpener allocates its engine: outside the lock, so other
        // calls are not held up by it.
        std::unique_ptr<TSharpenerSlot> Fresh;
        try {
            Fresh.reset(new TSharpenerSlot(Pool));
        } catch (...) {
            return TLease();
        }
        Fresh->Busy = true;
        std::lock_guard<std::mutex> Guard(Lock);
        Fresh->LastUse = ++Clock;
        Fresh->Kept = Slots.size() < Capacity;
        Slot = Fresh.get();
        if (Fresh->Kept) {
            try {
                Slots.push_back(std::move(Fresh));
            } catch (...) {
                Slot->Kept = false;
            }
        }
        if (!Slot->Kept) Fresh.release();  // the lease owns it now
    }
    TLease Lease(this, Slot);
    if (!Slot->HoldsSettings || Slot->Settings != Settings) {
        Slot->HoldsSettings = false;
        if (!Slot->Sharpener.SetParameters(ConvertTrackValues(Settings.data()))) return TLease();
        Slot->Settings = Settings;
        Slot->HoldsSettings = true;
    }
    return Lease;
}

void TEngineCache::Release(TSharpenerSlot* Slot) noexcept {
    if (!Slot->Kept) {
        delete Slot;
        return;
    }
    std::lock_guard<std::mutex> Guard(Lock);
    Slot->Busy = false;
}

std::size_t TEngineCache::KeptCount() const {
    std::lock_guard<std::mutex> Guard(Lock);
    return Slots.size();
}
