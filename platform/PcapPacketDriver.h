// The packet driver on libpcap: one capture handle per bound adapter, frames
// sent with pcap_inject, receive requests completed in the order issued while
// their caller waits on the capture's descriptor. Nothing runs in the
// background: a pending receive completes while someone waits for a request
// of its device.
#pragma once

#include "link/PacketDriver.h"

#include <deque>
#include <map>
#include <string>

typedef struct pcap pcap_t;

namespace kestrel {

class PcapPacketDriver : public PacketDriver {
  public:
    PcapPacketDriver() = default;
    ~PcapPacketDriver() override;
    PcapPacketDriver(const PcapPacketDriver&) = delete;
    PcapPacketDriver& operator=(const PcapPacketDriver&) = delete;

    PacketHandle OpenDevice(int& error) override;
    void CloseDevice(PacketHandle handle) override;
    PacketCallResult Control(PacketHandle handle, uint32_t code, const uint8_t* input,
                             uint32_t inputLength, uint8_t* output, uint32_t outputLength,
                             PacketRequest* request) override;
    bool WaitForRequest(PacketRequest& request, int timeoutMs) override;

  private:
    struct Device {
        pcap_t* capture = nullptr;
        std::string adapter;
        std::deque<PacketRequest*> receives; // pending, oldest first
        int failure = 0; // the capture broke (errno); receives are refused from then on
    };

    PacketCallResult Bind(Device& device, const uint8_t* input, uint32_t inputLength);
    PacketCallResult ReadAddress(Device& device, const uint8_t* input, uint32_t inputLength,
                                 uint8_t* output, uint32_t outputLength);
    PacketCallResult EnableFilter(Device& device);
    PacketCallResult Transmit(Device& device, const uint8_t* input, uint32_t inputLength);
    PacketCallResult PostReceive(Device& device, PacketHandle handle, uint8_t* output,
                                 uint32_t outputLength, PacketRequest* request);
    int CompleteArrivedReceives(Device& device);
    void FailDevice(Device& device, int error);
    void ReleaseCapture(Device& device);

    std::map<PacketHandle, Device> devices_;
    PacketHandle nextHandle_ = 1;
};

} // namespace kestrel
