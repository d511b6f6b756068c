#include "sim/Crc16.h"

namespace kestrel::sim {

// Bitwise on purpose: the program uses a table, so a wrong table entry there
// shows up as a mismatch here rather than being mirrored.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

bool ImageCheckValueMatches(const std::uint8_t* image, std::size_t length) {
    if (length < 2) return false;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(image[length - 2] | (image[length - 1] << 8));
    return Crc16(image, length - 2) == stored;
}

} // namespace kestrel::sim
