// The real filter: the plug-in module driven by the emulated host.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/EmulatedHost.h"
#include "host/velgarde/LumaProcessor.h"

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

// The plug-in module that sits beside the running executable.
std::string DefaultModulePath(const char* argv0);

}  // namespace velgarde
