// What the stream and image code needs from the filter: a plane of Y in the
// host's units, sharpened in place, and a plane of a stream's Y codes,
// sharpened in place. The Y plane may be interleaved with other values (the
// host's frame holds Y, Cb, Cr per pixel), so callers fill it through a step
// and never copy it twice. The real filters are the engine in this process
// (cli/EngineProcessor.h) and the plug-in behind the emulated host
// (cli/HostProcessor.h); tests use simple stand-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/LumaMapping.h"
#include "cli/Parallel.h"

namespace velgarde {

class LumaProcessor {
public:
    virtual ~LumaProcessor() = default;
    // The Y plane of the next frame, width x height values with rows packed:
    // value i is at plane[i * *step]. Null, with the reason, when no frame
    // of that size can be had.
    virtual std::int16_t* PrepareLuma(int width, int height, std::ptrdiff_t* step,
                                      std::string* error) = 0;
    // Sharpens the prepared plane in place.
    virtual bool Process(std::string* error) = 0;
    // Sharpens width x rows Y codes in place (bytes, or 16-bit little-endian
    // samples above 8 bits), rows `stride` bytes apart, as their Y through
    // `mapping` would be. By default through PrepareLuma and Process, the
    // conversions split over `parallel`; a filter that reads and writes the
    // codes itself gives the same bytes.
    virtual bool ProcessCodes(std::uint8_t* codes, std::ptrdiff_t stride, int width, int rows,
                              const LumaMapping& mapping, Parallel& parallel, std::string* error);
};

}  // namespace velgarde
