#include "cli/ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velgarde {

std::size_t MemorySource::Read(void* buffer, std::size_t count) {
    const std::size_t n = std::min(count, size_ - pos_);
    if (n != 0) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
}

bool MemorySink::Write(const void* data, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + count);
    return true;
}

std::size_t FileSource::Read(void* buffer, std::size_t count) {
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, count, file_);
    if (n < count && std::ferror(file_))
        error_ = errno != 0 ? std::strerror(errno) : "read error";
    return n;
}

bool FileSink::Write(const void* data, std::size_t count) {
    errno = 0;
    if (count != 0 && std::fwrite(data, 1, count, file_) != count) {
        errorCode_ = errno;
        error_ = errno != 0 ? std::strerror(errno) : "write error";
        return false;
    }
    return true;
}

bool FileSink::Flush() {
    errno = 0;
    if (std::fflush(file_) != 0) {
        errorCode_ = errno;
        error_ = errno != 0 ? std::strerror(errno) : "write error";
        return false;
    }
    return true;
}

std::size_t PrefixedSource::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::size_t fromPrefix = std::min(count, prefix_.size() - pos_);
    if (fromPrefix != 0) std::memcpy(out, prefix_.data() + pos_, fromPrefix);
    pos_ += fromPrefix;
    if (fromPrefix == count) return count;
    return fromPrefix + rest_.Read(out + fromPrefix, count - fromPrefix);
}

bool ReadAll(ByteSource& source, std::size_t limit, std::vector<std::uint8_t>* out,
             std::string* error) {
    out->clear();
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const std::size_t n = source.Read(chunk, sizeof chunk);
        if (out->size() + n > limit) {
            *error = "larger than " + std::to_string(limit >> 20) + " MiB";
            return false;
        }
        out->insert(out->end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    if (!source.Error().empty()) {
        *error = "read failed: " + source.Error();
        return false;
    }
    return true;
}

}  // namespace velgarde
