// Byte sources and sinks: the stream code reads and writes through these so
// that files, pipes and memory (tests, the fuzzer) share one code path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velgarde {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` bytes; fewer only at the end of the data or on an
    // error (then Error() is not empty).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::string Error() const { return {}; }
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // All or nothing from the caller's view: false means the data may be
    // partly written and the sink is no longer usable.
    virtual bool Write(const void* data, std::size_t count) = 0;
    virtual bool Flush() { return true; }
    virtual std::string Error() const { return {}; }
    // errno of the failure (EPIPE: the reader went away), 0 if none or unknown.
    virtual int ErrorCode() const { return 0; }
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::size_t Read(void* buffer, std::size_t count) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class MemorySink : public ByteSink {
public:
    bool Write(const void* data, std::size_t count) override;
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Wraps a stdio stream it does not own.
class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::string Error() const override { return error_; }

private:
    std::FILE* file_;
    std::string error_;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    bool Write(const void* data, std::size_t count) override;
    bool Flush() override;
    std::string Error() const override { return error_; }
    int ErrorCode() const override { return errorCode_; }

private:
    std::FILE* file_;
    std::string error_;
    int errorCode_ = 0;
};

// Bytes already taken from a source (to recognise the format), then the rest.
class PrefixedSource : public ByteSource {
public:
    PrefixedSource(std::vector<std::uint8_t> prefix, ByteSource& rest)
        : prefix_(std::move(prefix)), rest_(rest) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::string Error() const override { return rest_.Error(); }

private:
    std::vector<std::uint8_t> prefix_;
    std::size_t pos_ = 0;
    ByteSource& rest_;
};

// Reads everything left in `source`, failing beyond `limit` bytes.
bool ReadAll(ByteSource& source, std::size_t limit, std::vector<std::uint8_t>* out,
             std::string* error);

}  // namespace velgarde
