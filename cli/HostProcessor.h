// The real filter: the plug-in module driven by the emulated host.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <memory>
#include <vector>

#include "cli/LumaProcessor.h"
#include "cli/Parallel.h"
#include "host/EmulatedHost.h"
#include "host/WorkerPool.h"

namespace velgarde {

class HostProcessor : public LumaProcessor {
public:
    // Loads the module and sets the five tracks. The error says what is wrong
    // with the module, without its path.
    bool Open(const std::string& modulePath, int threads,
              const std::array<std::int32_t, 5>& tracks, std::string* error);
    std::int16_t* PrepareLuma(int width, int height, std::ptrdiff_t* step,
                              std::string* error) override;
    bool Process(std::string* error) override;
    int ThreadCount() const { return host_.ThreadCount(); }

private:
    EmulatedHost host_;
    int width_ = 0;
    int height_ = 0;
};

// Conversions split over a pool of their own, beside the host's.
class PoolParallel : public Parallel {
public:
    explicit PoolParallel(int threads) : pool_(threads) {}
    void For(std::size_t count, const std::function<void(std::size_t, std::size_t)>& part) override;

private:
    WorkerPool pool_;
};

// Where the plug-in module is looked for when none is named, in order:
// beside the running executable, then (not on Windows) in ../lib/velgarde
// from its folder, where cmake --install puts it.
std::vector<std::string> DefaultModulePaths(const char* argv0);

}  // namespace velgarde
