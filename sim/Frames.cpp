#include "sim/Frames.h"

#include <algorithm>

namespace kestrel::sim {

bool ReadHeader(const Bytes& frame, Header* header) {
    if (frame.size() < HeaderSize) return false;
    header->destination = ReadMac(frame, 0);
    header->source = ReadMac(frame, 6);
    header->firstMarker = ReadU16(frame, 12);
    header->secondMarker = ReadU16(frame, 14);
    header->type = ReadU16(frame, 16);
    return true;
}

Bytes NewFrame(std::size_t length, const Mac& to, const Mac& from, std::uint16_t marker,
               std::uint16_t type) {
    Bytes frame(std::max(length, HeaderSize), 0);
    WriteMac(frame, 0, to);
    WriteMac(frame, 6, from);
    WriteU16(frame, 12, FirstMarker);
    WriteU16(frame, 14, marker);
    WriteU16(frame, 16, type);
    return frame;
}

} // namespace kestrel::sim
