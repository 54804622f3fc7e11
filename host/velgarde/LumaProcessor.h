// What the stream and image code needs from the filter: one plane of Y in the
// host's units, sharpened in place. The plug-in behind the emulated host is
// the real one; tests use simple stand-ins.
#pragma once

#include <cstdint>
#include <string>

namespace velgarde {

class LumaProcessor {
public:
    virtual ~LumaProcessor() = default;
    // `luma` holds width x height values, rows packed.
    virtual bool Process(std::int16_t* luma, int width, int height, std::string* error) = 0;
};

}  // namespace velgarde
