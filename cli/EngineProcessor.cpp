#include "cli/EngineProcessor.h"

#include <algorithm>

#include "filter/ThreadSlots.h"
#include "util/xmmutil.h"

namespace velgarde {
namespace {

unsigned PoolSize(int threads) { return threads > 0 ? static_cast<unsigned>(threads) : ProcessorCount(); }

struct PassJob {
    const TUnsharpMaskFilter* engine;
    void* frame;
    void* plane;
};

void HorizontalTask(unsigned index, unsigned count, void* context) {
    const auto& job = *static_cast<const PassJob*>(context);
    job.engine->HorizontalPass(job.plane, job.frame, index, count);
}

void VerticalTask(unsigned index, unsigned count, void* context) {
    const auto& job = *static_cast<const PassJob*>(context);
    job.engine->VerticalPass(job.frame, job.plane, index, count);
}

std::string Size(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

EngineProcessor::EngineProcessor(int threads, const std::array<std::int32_t, 5>& tracks)
    : pool_(PoolSize(threads)), sharpener_(ThreadSlotsFor(std::max(PoolSize(threads), ProcessorCount()))) {
    sharpener_.SetParameters(ConvertTrackValues(tracks.data()));
}

EngineProcessor::~EngineProcessor() {
    if (plane_ != nullptr) AlignedFree(plane_);
}

std::int16_t* EngineProcessor::PrepareLuma(int width, int height, std::ptrdiff_t* step, std::string* error) {
    TUnsharpMaskFilter& engine = sharpener_.Engine();
    try {
        if (width != width_ || height != height_) {
            width_ = height_ = 0;
            if (!engine.Setup(width, height, width)) {
                *error = "cannot sharpen a " + Size(width, height) + " picture: too large";
                return nullptr;
            }
            const std::size_t bytes = static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(width, height));
            if (bytes > planeBytes_) {
                void* bigger = AlignedAlloc(bytes, 64);
                if (plane_ != nullptr) AlignedFree(plane_);
                plane_ = bigger;
                planeBytes_ = bytes;
            }
            // The passes never write Cb and Cr, but they load them.
            frame_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
            width_ = width;
            height_ = height;
        }
    } catch (...) {
        *error = "cannot allocate a " + Size(width, height) + " frame";
        return nullptr;
    }
    *step = 3;
    return frame_.data();
}

bool EngineProcessor::Process(std::string* error) {
    TUnsharpMaskFilter& engine = sharpener_.Engine();
    try {
        // Unchanged geometry costs nothing; a stream in between may have set
        // the engine up for its own frames.
        if (width_ == 0 || !engine.Setup(width_, height_, width_)) {
            *error = "no frame prepared";
            return false;
        }
    } catch (...) {
        *error = "cannot allocate the filter's buffers for a " + Size(width_, height_) + " frame";
        return false;
    }
    PassJob job{&engine, frame_.data(), plane_};
    // The vertical pass reads rows other threads' horizontal shares wrote.
    pool_.Run(HorizontalTask, &job, engine.ThreadSlots);
    pool_.Run(VerticalTask, &job, engine.ThreadSlots);
    return true;
}

bool EngineProcessor::ProcessCodes(std::uint8_t* codes, std::ptrdiff_t stride, int width, int rows,
                                   const LumaMapping& mapping, Parallel&, std::string* error) {
    const PixelFormat format = PlanarFormat(mapping.Codes());
    if (sharpener_.Process(pool_, format, codes, codes, width, rows, stride)) return true;
    *error = "cannot sharpen a " + Size(width, rows) + " frame (too large, or out of memory)";
    return false;
}

}  // namespace velgarde
