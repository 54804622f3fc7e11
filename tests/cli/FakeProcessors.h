// Stand-in filters: they keep Y interleaved like the host's frame (step 3),
// so that callers' stepping is exercised too.
#pragma once

#include <string>
#include <vector>

#include "cli/LumaProcessor.h"

namespace velgarde::test {

// Adds `shift` to every Y; fails on call number `failAt` (from 1) if set.
struct ShiftProcessor : LumaProcessor {
    int shift = 0;
    int failAt = -1;
    bool refusePrepare = false;
    int calls = 0;
    std::vector<std::int16_t> frame;
    std::int16_t* PrepareLuma(int width, int height, std::ptrdiff_t* step, std::string* error) override {
        if (refusePrepare) {
            *error = "no frame";
            return nullptr;
        }
        frame.assign(static_cast<std::size_t>(width) * height * 3, 0x5555);
        *step = 3;
        return frame.data();
    }
    bool Process(std::string* error) override {
        if (++calls == failAt) {
            *error = "filter refused";
            return false;
        }
        for (std::size_t i = 0; i < frame.size(); i += 3)
            frame[i] = static_cast<std::int16_t>(frame[i] + shift);
        return true;
    }
};

}  // namespace velgarde::test
