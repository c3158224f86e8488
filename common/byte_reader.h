// Numbers from the bytes of a binary file in memory, in the file's byte order
// whatever the host's: little-endian, as the level, font, bitmap, and id Tech 3
// formats store them, and big-endian for PNG's chunk lengths.
// A read past the end gives zeros (an empty text) and leaves the reader failed
// (later reads give zeros too), so a run of reads needs one ok() after it, and
// bad input can never make it read outside the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<uint8_t>& bytes)
        : ByteReader(bytes.data(), bytes.size()) {}

    // To `offset` bytes from the start.
    ByteReader& seek(size_t offset) {
        if (offset > size_) ok_ = false;
        if (ok_) at_ = offset;
        return *this;
    }
    ByteReader& skip(size_t count) {
        if (count > size_ - at_) ok_ = false;
        if (ok_) at_ += count;
        return *this;
    }

    uint16_t u16() { return uint16_t(littleEndian(2)); }
    uint32_t u32() { return uint32_t(littleEndian(4)); }
    int32_t i32() { return bitCast<int32_t>(u32()); }
    float f32() { return bitCast<float>(u32()); }
    uint32_t u32BigEndian() {
        const uint8_t* bytes = take(4);
        if (!bytes) return 0;
        return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
               bytes[3];
    }

    // `count` bytes as they are (zeros when fewer are left).
    void copy(void* into, size_t count) {
        const uint8_t* bytes = take(count);
        if (bytes) std::memcpy(into, bytes, count);
        else std::memset(into, 0, count);
    }
    // A text field of `size` bytes, up to its first NUL.
    std::string text(size_t size) {
        const char* bytes = reinterpret_cast<const char*>(take(size));
        return bytes ? std::string(bytes, strnlen(bytes, size)) : std::string();
    }

    bool ok() const { return ok_; }

private:
    // The next `count` bytes, or null (and the reader failed) when fewer are left.
    const uint8_t* take(size_t count) {
        if (!ok_ || count > size_ - at_) {
            ok_ = false;
            return nullptr;
        }
        at_ += count;
        return data_ + at_ - count;
    }

    uint32_t littleEndian(size_t count) {
        const uint8_t* bytes = take(count);
        uint32_t value = 0;
        for (size_t i = 0; bytes && i < count; ++i) value |= uint32_t(bytes[i]) << (8 * i);
        return value;
    }

    template <typename To>
    static To bitCast(uint32_t bits) {
        static_assert(sizeof(To) == sizeof bits, "a 32-bit type");
        To value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};
