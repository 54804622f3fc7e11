// The video function's work: the object's settings and picture in, the
// sharpened picture back to the host.
#pragma once

#include <cstddef>
#include <mutex>

#include "aviutl2/EngineCache.h"
#include "aviutl2/FilterRecords.h"
#include "util/ThreadPool.h"

// Everything the module keeps between calls. One pool serves every call:
// frames are sharpened one at a time, each on all of its threads, while other
// calls fetch and hand back their pictures.
struct TModuleState {
    // Sharpeners kept: a few objects with settings of their own each keep
    // theirs; every slot holds buffers for a whole picture.
    static constexpr std::size_t KeptSharpeners = 4;

    explicit TModuleState(unsigned Threads) : Pool(Threads), Cache(Pool, KeptSharpeners) {}

    TThreadPool Pool;
    std::mutex PoolTurn;  // the pool runs one frame at a time
    TEngineCache Cache;
};

// Sharpens the object's picture with the settings in Items, or writes the
// change view (filter/ChangeView.h) when ShowChange is ticked. False, with the
// host's picture as it was, when the call cannot be served: records missing,
// a negative size, memory that cannot be had. Never throws.
bool SharpenObject(TModuleState& State, const Auf2TrackItem* Items, const Auf2CheckItem& ShowChange,
                   const Auf2ProcVideo* Video) noexcept;
