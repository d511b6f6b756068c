// A packet driver in memory for the channel's unit tests: it records every
// control call and completes receive requests, in the order issued, with the
// frames a test delivers. Waits never sleep: a request that is not completed
// when waited for times out at once.
#pragma once

#include "link/PacketDriver.h"

#include <array>
#include <deque>
#include <vector>

namespace kestrel::test {

struct ControlCall {
    PacketHandle handle;
    uint32_t code;
    std::vector<uint8_t> input;
    uint32_t outputLength;
    bool overlapped;
    const uint8_t* output;
};

class InMemoryPacketDriver : public PacketDriver {
  public:
    // What the driver answers.
    int openError = 0;
    std::array<uint8_t, 6> address{0x00, 0x40, 0x96, 0x12, 0x34, 0x56};
    uint32_t addressBytes = 6;
    bool acceptFilter = true;
    bool acceptTransmit = true;
    int refuseReceives = 0; // this many receive requests are refused before they are accepted again
    bool failDuringNextWait = false; // the next wait ends all pending receives with an error

    // What it saw.
    std::vector<ControlCall> calls;
    std::vector<PacketHandle> closed;
    std::vector<std::vector<uint8_t>> transmitted;
    std::vector<const PacketRequest*> waitedFor;
    int waitsThatTimedOut = 0;

    // A frame arriving from the wire: it completes the oldest pending receive,
    // or waits for the next request.
    void Deliver(std::vector<uint8_t> frame);
    int PendingReceives() const { return static_cast<int>(pending_.size()); }
    std::vector<ControlCall> CallsWithCode(uint32_t code) const;

    PacketHandle OpenDevice(int& error) override;
    void CloseDevice(PacketHandle handle) override;
    PacketCallResult Control(PacketHandle handle, uint32_t code, const uint8_t* input,
                             uint32_t inputLength, uint8_t* output, uint32_t outputLength,
                             PacketRequest* request) override;
    bool WaitForRequest(PacketRequest& request, int timeoutMs) override;

  private:
    void CompleteWith(PacketRequest& request, const std::vector<uint8_t>& frame);

    PacketHandle nextHandle_ = 7;
    std::vector<PacketHandle> open_;
    std::deque<PacketRequest*> pending_;
    std::deque<std::vector<uint8_t>> arrived_;
};

} // namespace kestrel::test
