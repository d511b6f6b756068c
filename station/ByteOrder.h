// Little-endian reads and writes at an offset of a byte buffer. Every access
// is checked against the buffer: a station can send a frame of any length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrel {

inline bool FitsIn(std::span<const uint8_t> buffer, size_t offset, size_t size) {
    return offset <= buffer.size() && size <= buffer.size() - offset;
}

// Reads return 0 for bytes outside the buffer; writes outside it do nothing
// and report false.
inline uint16_t ReadLE16(std::span<const uint8_t> buffer, size_t offset) {
    if (!FitsIn(buffer, offset, 2)) return 0;
    return static_cast<uint16_t>(buffer[offset] | (buffer[offset + 1] << 8));
}

inline uint32_t ReadLE32(std::span<const uint8_t> buffer, size_t offset) {
    if (!FitsIn(buffer, offset, 4)) return 0;
    return static_cast<uint32_t>(buffer[offset]) |
           (static_cast<uint32_t>(buffer[offset + 1]) << 8) |
           (static_cast<uint32_t>(buffer[offset + 2]) << 16) |
           (static_cast<uint32_t>(buffer[offset + 3]) << 24);
}

inline bool WriteLE16(std::span<uint8_t> buffer, size_t offset, uint16_t value) {
    if (!FitsIn(buffer, offset, 2)) return false;
    buffer[offset] = static_cast<uint8_t>(value);
    buffer[offset + 1] = static_cast<uint8_t>(value >> 8);
    return true;
}

inline bool WriteLE32(std::span<uint8_t> buffer, size_t offset, uint32_t value) {
    if (!FitsIn(buffer, offset, 4)) return false;
    for (size_t i = 0; i < 4; ++i)
        buffer[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return true;
}

} // namespace kestrel
