#include "cli/StreamJob.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/LumaMapping.h"
#include "cli/ShowChange.h"

namespace velgarde {
namespace {

// A bounded hand-over between two threads. After Close, Push fails and Pop
// drains what is left, then fails.
template <typename T>
class Channel {
public:
    explicit Channel(std::size_t capacity) : capacity_(capacity) {}
    bool Push(T value) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(value));
        changed_.notify_all();
        return true;
    }
    bool Pop(T* value) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        *value = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return true;
    }
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
    std::size_t capacity_;
    bool closed_ = false;
};

using FramePtr = std::unique_ptr<Y4mFrame>;

// Filters the luma of one frame: whole, or as its two fields one after the other.
bool FilterFrame(const Y4mFormat& format, const LumaMapping& mapping, bool fields,
                 LumaProcessor& processor, Parallel& parallel, Y4mFrame* frame, std::string* error) {
    const std::ptrdiff_t rowBytes =
        static_cast<std::ptrdiff_t>(format.width) * format.BytesPerSample();
    const int passes = fields && format.height > 1 ? 2 : 1;
    for (int field = 0; field < passes; ++field) {
        const int rows = passes == 1 ? format.height : (format.height - field + 1) / 2;
        std::uint8_t* codes = frame->data.data() + field * rowBytes;
        const std::ptrdiff_t stride = rowBytes * passes;
        if (!processor.ProcessCodes(codes, stride, format.width, rows, mapping, parallel, error)) return false;
    }
    return true;
}

}  // namespace

StreamResult RunStream(Y4mReader& reader, Y4mWriter& writer, LumaProcessor& processor,
                       const StreamSettings& settings, Progress* progress) {
    StreamResult result;
    const Y4mFormat& format = reader.Format();
    if (!writer.WriteHeader(reader.HeaderLine(), &result.error)) {
        result.failure = StreamResult::Failure::Output;
        return result;
    }
    const LumaMapping mapping(format.bitDepth, format.fullRange);
    Parallel serial;
    Parallel& parallel = settings.parallel != nullptr ? *settings.parallel : serial;

    // Four frames circulate: one being read, one filtered, one written, one spare.
    constexpr std::size_t kFrames = 4;
    Channel<FramePtr> empty(kFrames), toFilter(kFrames), toWrite(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) empty.Push(std::make_unique<Y4mFrame>());

    // What the reader and writer threads report, read after they are joined.
    std::string readError, writeError;
    bool readFailed = false, writeFailed = false;
    std::int64_t written = 0, fieldFrames = 0;

    std::thread readThread([&] {
        std::int64_t count = 0;
        FramePtr frame;
        while ((settings.maxFrames < 0 || count < settings.maxFrames) && empty.Pop(&frame)) {
            const auto r = reader.ReadFrame(frame.get(), &readError);
            if (r == Y4mReader::Result::Error) readFailed = true;
            if (r != Y4mReader::Result::Frame || !toFilter.Push(std::move(frame))) break;
            ++count;
        }
        toFilter.Close();
    });
    std::thread writeThread([&] {
        FramePtr frame;
        while (toWrite.Pop(&frame)) {
            if (!writer.WriteFrame(*frame, &writeError)) {
                writeFailed = true;
                break;
            }
            ++written;
            if (progress != nullptr) progress->Frame(written);
            empty.Push(std::move(frame));
        }
        // Whatever is still on its way is not written; stop the others.
        empty.Close();
        toFilter.Close();
    });

    FramePtr frame;
    while (toFilter.Pop(&frame)) {
        bool fields = settings.fields == FieldMode::Separate;
        if (settings.fields == FieldMode::Auto) fields = FrameIsInterlaced(format, frame->parameters);
        const auto before = LumaBeforeSharpening(format, frame->data.data(), settings.show);
        if (!FilterFrame(format, mapping, fields, processor, parallel, frame.get(), &result.error)) {
            result.failure = StreamResult::Failure::Filter;
            break;
        }
        ShowChange(format, mapping, before, frame->data.data(), settings.show, parallel);
        fieldFrames += fields;
        if (!toWrite.Push(std::move(frame))) break;
    }
    toWrite.Close();
    writeThread.join();
    empty.Close();
    toFilter.Close();
    readThread.join();

    result.frames = written;
    result.fieldFrames = fieldFrames;
    if (writeFailed) {
        result.failure = StreamResult::Failure::Output;
        result.error = writeError;
    } else if (result.failure == StreamResult::Failure::None && readFailed) {
        result.failure = StreamResult::Failure::Input;
        result.error = readError;
    }
    return result;
}

std::int64_t EstimateFrameCount(std::uint64_t fileBytes, std::size_t headerBytes,
                                const Y4mFormat& format) {
    if (fileBytes <= headerBytes) return 0;
    return static_cast<std::int64_t>((fileBytes - headerBytes) / (format.FrameBytes() + 6));
}

}  // namespace velgarde
