// Byte-level helpers of the simulator: little-endian fields, addresses and
// printable renderings for the log. Every access is bounded by the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

using Bytes = std::vector<std::uint8_t>;
using Mac = std::array<std::uint8_t, 6>;

constexpr Mac BroadcastMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Reads return 0 for bytes beyond the end of the buffer; writes grow nothing
// and drop what falls outside.
std::uint16_t ReadU16(const Bytes& b, std::size_t at);
std::uint32_t ReadU32(const Bytes& b, std::size_t at);
void WriteU16(Bytes& b, std::size_t at, std::uint16_t v);
void WriteU32(Bytes& b, std::size_t at, std::uint32_t v);
Mac ReadMac(const Bytes& b, std::size_t at);
void WriteMac(Bytes& b, std::size_t at, const Mac& mac);
// Copies text into a field of the given width; zero-fills the rest.
void WriteText(Bytes& b, std::size_t at, std::size_t width, std::string_view text);

// "AA-BB-CC-DD-EE-FF".
std::string FormatMac(const Mac& mac);
// Accepts "AA-BB-CC-DD-EE-FF", "AA:BB:..." or "AABBCCDDEEFF" (either case).
std::optional<Mac> ParseMac(std::string_view text);
// Twelve upper-case hex digits, no separators.
std::string MacDigits(const Mac& mac);

// The text in double quotes with \r, \n, \", \\ and \xNN escapes.
std::string Quote(std::string_view text);

} // namespace kestrel::sim
