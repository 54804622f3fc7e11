// A cursor over a file's bytes for the readers of our own formats: every
// read checks the length that is left, and a short read is remembered, so a
// reader tells a truncated file from a damaged one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velgarde {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Position() const { return pos_; }
    std::size_t Left() const { return size_ - pos_; }
    bool RanOut() const { return ranOut_; }

    // The next `count` bytes, or null (and RanOut) if the file has fewer.
    const std::uint8_t* Take(std::size_t count) {
        if (count > size_ - pos_) {
            ranOut_ = true;
            pos_ = size_;
            return nullptr;
        }
        const std::uint8_t* p = data_ + pos_;
        pos_ += count;
        return p;
    }
    bool Skip(std::size_t count) { return Take(count) != nullptr || count == 0; }
    // Moves to `offset` from the start; false (and RanOut) beyond the end.
    bool Seek(std::size_t offset) {
        if (offset > size_) {
            ranOut_ = true;
            return false;
        }
        pos_ = offset;
        return true;
    }
    bool U8(unsigned* v) {
        const std::uint8_t* p = Take(1);
        if (p != nullptr) *v = p[0];
        return p != nullptr;
    }
    bool U16le(unsigned* v) {
        const std::uint8_t* p = Take(2);
        if (p != nullptr) *v = p[0] | (unsigned{p[1]} << 8);
        return p != nullptr;
    }
    bool U32le(std::uint32_t* v) {
        const std::uint8_t* p = Take(4);
        if (p != nullptr)
            *v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
        return p != nullptr;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ranOut_ = false;
};

}  // namespace velgarde
