// SLIP framing (RFC 1055) of binary frames on the serial line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

inline constexpr uint8_t SlipEnd = 0xC0;
inline constexpr uint8_t SlipEsc = 0xDB;
inline constexpr uint8_t SlipEscEnd = 0xDC;
inline constexpr uint8_t SlipEscEsc = 0xDD;

// Decodes the first non-empty frame in input[0..inputLength) into output.
// Bytes skipped before the first END count against the capacity. Returns the
// number of decoded bytes, or 0 when no whole frame fits the capacity or no
// END closes the data. consumed (if given) receives the input bytes used up to
// and including the END that closed the frame.
int SlipDecode(uint8_t* output, int capacity, const uint8_t* input, size_t inputLength,
               size_t* consumed = nullptr);

} // namespace kestrel
