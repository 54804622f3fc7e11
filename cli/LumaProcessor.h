// What the stream and image code needs from the filter: a plane of Y in the
// host's units, sharpened in place. The plane may be interleaved with other
// values (the host's frame holds Y, Cb, Cr per pixel), so callers fill it
// through a step and never copy it twice. The plug-in behind the emulated
// host is the real filter; tests use simple stand-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
};

}  // namespace velgarde
