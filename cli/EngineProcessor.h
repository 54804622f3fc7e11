// The filter in this process: the sharpening engine itself, on a pool of the
// tool's own. Stream frames go through the format-aware passes, which read
// and write the Y codes themselves band by band (no plane of Y in between);
// images get a plane of Y in the host's frame layout and both passes over
// it. The same bytes as the plug-in through the emulated host
// (cli/HostProcessor.h), which the tests hold it to.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/LumaProcessor.h"
#include "filter/PictureSharpener.h"
#include "util/ThreadPool.h"

namespace velgarde {

class EngineProcessor : public LumaProcessor {
public:
    // threads: 0 for one per processor. The five tracks in the table's order.
    EngineProcessor(int threads, const std::array<std::int32_t, 5>& tracks);
    ~EngineProcessor() override;

    std::int16_t* PrepareLuma(int width, int height, std::ptrdiff_t* step, std::string* error) override;
    bool Process(std::string* error) override;
    bool ProcessCodes(std::uint8_t* codes, std::ptrdiff_t stride, int width, int rows, const LumaMapping& mapping,
                      Parallel& parallel, std::string* error) override;
    int ThreadCount() const { return static_cast<int>(pool_.Size()); }

private:
    TThreadPool pool_;
    TPictureSharpener sharpener_;
    std::vector<std::int16_t> frame_;  // PrepareLuma's frame: Y, Cb, Cr per pixel
    void* plane_ = nullptr;            // its work plane
    std::size_t planeBytes_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace velgarde
