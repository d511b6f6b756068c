// The check value that closes a firmware image: CRC-16 with polynomial 0x1021,
// most significant bit first, initial value 0xFFFF, no final XOR.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::sim {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// True when the last two bytes hold, low byte first, the CRC of the bytes
// before them. Images shorter than two bytes carry no check value: false.
bool ImageCheckValueMatches(const std::uint8_t* image, std::size_t length);

} // namespace kestrel::sim
