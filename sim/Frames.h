// Frame layout shared by the station's two links: an 18-byte header of
// destination, source, the markers AA AA and 56 F5 (55 F5 for the transfer
// frames of an upgrade) and a 16-bit type, all little-endian.
#pragma once

#include "sim/Bytes.h"

namespace kestrel::sim {

constexpr std::size_t HeaderSize = 18;
constexpr std::uint16_t FirstMarker = 0xAAAA;
constexpr std::uint16_t StationMarker = 0xF556;
constexpr std::uint16_t TransferMarker = 0xF555;

// Types under the station marker.
constexpr std::uint16_t TypeIdentityRequest = 0;
constexpr std::uint16_t TypeIdentityReply = 1;
constexpr std::uint16_t TypeUpgradeRequest = 2;
constexpr std::uint16_t TypeUpgradeAnswer = 3;
constexpr std::uint16_t TypeCommand = 16;
constexpr std::uint16_t TypeCommandReply = 17;

// Types under the transfer marker (station's request / program's answer).
constexpr std::uint16_t TypeSizeRequest = 0;
constexpr std::uint16_t TypeSizeReply = 1;
constexpr std::uint16_t TypeBlockRequest = 2;
constexpr std::uint16_t TypeBlockReply = 3;
constexpr std::uint16_t TypeTransferEnd = 4;

constexpr std::size_t IdentitySize = 171;
constexpr std::size_t CommandFrameSize = 98;
constexpr std::size_t CommandTextSize = 80;
constexpr std::size_t MinimumEthernetFrame = 64;

struct Header {
    Mac destination{};
    Mac source{};
    std::uint16_t firstMarker = 0;
    std::uint16_t secondMarker = 0;
    std::uint16_t type = 0;
};

// Frames shorter than a header have none.
bool ReadHeader(const Bytes& frame, Header* header);
// A frame of the given length with its header filled in and the rest zero.
Bytes NewFrame(std::size_t length, const Mac& to, const Mac& from, std::uint16_t marker,
               std::uint16_t type);

} // namespace kestrel::sim
