#include "host/velgarde/StreamJob.h"

#include "host/velgarde/LumaMapping.h"

namespace velgarde {

StreamResult RunStream(Y4mReader& reader, Y4mWriter& writer, LumaProcessor& processor,
                       std::int64_t maxFrames, Progress* progress) {
    StreamResult result;
    const Y4mFormat& format = reader.Format();
    if (!writer.WriteHeader(reader.HeaderLine(), &result.error)) {
        result.failure = StreamResult::Failure::Output;
        return result;
    }
    const LumaMapping mapping(format.bitDepth, format.fullRange);
    const std::size_t pixels =
        static_cast<std::size_t>(format.width) * static_cast<std::size_t>(format.height);
    Y4mFrame frame;
    while (maxFrames < 0 || result.frames < maxFrames) {
        const auto r = reader.ReadFrame(&frame, &result.error);
        if (r == Y4mReader::Result::End) break;
        if (r == Y4mReader::Result::Error) {
            result.failure = StreamResult::Failure::Input;
            return result;
        }
        std::ptrdiff_t step = 1;
        std::int16_t* luma = processor.PrepareLuma(format.width, format.height, &step, &result.error);
        if (luma == nullptr) {
            result.failure = StreamResult::Failure::Filter;
            return result;
        }
        mapping.PlaneToHost(frame.data.data(), pixels, luma, step);
        if (!processor.Process(&result.error)) {
            result.failure = StreamResult::Failure::Filter;
            return result;
        }
        mapping.PlaneFromHost(luma, step, pixels, frame.data.data());
        if (!writer.WriteFrame(frame, &result.error)) {
            result.failure = StreamResult::Failure::Output;
            return result;
        }
        ++result.frames;
        if (progress != nullptr) progress->Frame(result.frames);
    }
    return result;
}

std::int64_t EstimateFrameCount(std::uint64_t fileBytes, std::size_t headerBytes,
                                const Y4mFormat& format) {
    if (fileBytes <= headerBytes) return 0;
    return static_cast<std::int64_t>((fileBytes - headerBytes) / (format.FrameBytes() + 6));
}

}  // namespace velgarde
