// Sharpeners kept per setting, so that an object whose settings do not change
// reuses its engine (weights, plans, buffers) frame after frame.
//
// The host calls the video function for different objects from different
// threads at once: a slot is lent to one call at a time. A call whose setting
// no idle slot holds takes, in this order, an idle slot with the same blur
// (new amounts and threshold cost nothing), a new slot while fewer than
// Capacity are kept, or the least recently used idle slot; a call that finds
// every kept slot busy gets one of its own that is dropped afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "aviutl2/TrackItems.h"

class TRgbaSharpener;
class TThreadPool;

struct TSharpenerSlot;

class TEngineCache {
public:
    // Sharpeners made here run on Pool, which must outlive the cache.
    TEngineCache(TThreadPool& Pool, std::size_t Capacity);
    ~TEngineCache();
    TEngineCache(const TEngineCache&) = delete;
    TEngineCache& operator=(const TEngineCache&) = delete;

    // A slot lent to one call; it goes back to the cache when the lease ends.
    class TLease {
    public:
        TLease() = default;
        TLease(TLease&& Other) noexcept;
        TLease& operator=(TLease&& Other) noexcept;
        ~TLease();
        explicit operator bool() const { return Slot != nullptr; }
        TRgbaSharpener& Sharpener() const;
        // The slot's picture buffer, at least Bytes long; null if it cannot grow.
        std::uint8_t* Picture(std::size_t Bytes) const;

    private:
        friend class TEngineCache;
        TLease(TEngineCache* Owner, TSharpenerSlot* Slot) : Owner(Owner), Slot(Slot) {}
        TEngineCache* Owner = nullptr;
        TSharpenerSlot* Slot = nullptr;
    };

    // A sharpener holding Settings, or an empty lease when one cannot be
    // made or given the settings (allocation failure). Never throws.
    TLease Acquire(const TrackValues& Settings) noexcept;

    // Slots kept (busy or idle), for tests.
    std::size_t KeptCount() const;

private:
    void Release(TSharpenerSlot* Slot) noexcept;

    TThreadPool& Pool;
    const std::size_t Capacity;
    mutable std::mutex Lock;
    std::vector<std::unique_ptr<TSharpenerSlot>> Slots;  // guarded by Lock
    std::uint64_t Clock = 0;                              // guarded by Lock
};
