// The one channel to the packet driver: raw Ethernet frames on one adapter at
// a time. It is opened anew for every adapter used and closed after use.
#pragma once

#include "link/PacketDriver.h"

#include <array>
#include <cstdint>
#include <string>

namespace kestrel {

class TPacketChannel {
  public:
    // MAC address of the bound adapter: the source of every frame sent on it.
    std::array<uint8_t, 6> AdapterAddress{};
    // True between a successful OpenPacketChannel and ClosePacketChannel.
    bool Open = false;
    // The open device; meaningful only while Open is true.
    PacketHandle Handle = InvalidPacketHandle;
};

// Created closed by the main window at start, deleted at exit; nullptr before.
extern TPacketChannel* PacketChannel;

// Title of the boxes that report a failed open of the driver.
inline constexpr const char* PacketChannelMessageTitle = "Kestrel";

// Size of each of the two receive buffers kept pending at the driver.
constexpr int ReceiveSlotSize = 2000;

// Opens the driver and binds it to the adapter. True when open, bound and the
// adapter address is usable; false leaves the channel closed. A driver that
// cannot be opened is reported in a message box.
bool OpenPacketChannel(const std::string& adapterName);
// Closes an open channel; nothing on a closed one.
void ClosePacketChannel();
// Reads the bound adapter's MAC into AdapterAddress; false when the first four
// bytes are all zero or the driver refused.
bool ReadAdapterAddress();
// Switches on the driver's filter: only frames of type AA AA, none of our own.
bool EnablePacketFilter();
// Transmits the frame as given; true when the driver sent it.
bool SendPacket(const uint8_t* frame, int length);
// Takes the next frame, waiting up to timeoutMs. length: in, room in buffer;
// out, bytes copied (the frame cut to the room). False on timeout.
bool ReceivePacket(uint8_t* buffer, int& length, int timeoutMs);
// How long a drain waits for each waiting frame, and the most frames it drops.
constexpr int DrainWaitMs = 10;
constexpr int MaxDrainedFrames = 64;

// Discards the frames already waiting (those the slots hold and any queued
// behind them); nothing when closed.
void DrainPackets();

// The driver behind the channel (nullptr: the libpcap driver). Switching
// closes an open channel and disarms the receive slots.
void SetPacketDriver(PacketDriver* driver);

} // namespace kestrel
