// libFuzzer target: arbitrary bytes as a YUV4MPEG2 stream. The reader must
// end every input with a frame, a clean end or an error, never a crash; and
// what it accepts must write back to exactly the bytes it read.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/ByteStream.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velgarde;
    // Smaller limits than the tool's keep each run fast; the checks are the same code.
    Y4mLimits limits;
    limits.maxDimension = 4096;
    limits.maxPixels = 1 << 20;
    MemorySource source(data, size);
    Y4mReader reader(source, limits);
    std::string error;
    if (!reader.ReadHeader(&error)) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    const Y4mFormat& f = reader.Format();
    if (f.width < 1 || f.height < 1 || f.width > limits.maxDimension ||
        f.height > limits.maxDimension)
        std::abort();
    MemorySink sink;
    Y4mWriter writer(sink);
    if (!writer.WriteHeader(reader.HeaderLine(), &error)) std::abort();
    Y4mFrame frame;
    for (;;) {
        const auto r = reader.ReadFrame(&frame, &error);
        if (r == Y4mReader::Result::Error) {
            if (error.empty()) std::abort();
            break;
        }
        if (r == Y4mReader::Result::End) break;
        if (frame.data.size() != f.FrameBytes()) std::abort();
        if (!writer.WriteFrame(frame, &error)) std::abort();
    }
    // Whatever was accepted is a prefix of the input, byte for byte.
    const auto& out = sink.Bytes();
    if (out.size() > size || std::memcmp(out.data(), data, out.size()) != 0) std::abort();
    return 0;
}
