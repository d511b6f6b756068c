// The station side of a veth pair for tests: a raw packet socket on one
// interface that sends frames and takes the station frames (type AA AA) that
// arrive from the other end, skipping the system's own chatter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

class PacketPeer {
  public:
    explicit PacketPeer(const std::string& interfaceName);
    ~PacketPeer();
    PacketPeer(const PacketPeer&) = delete;
    PacketPeer& operator=(const PacketPeer&) = delete;

    bool Ok() const { return fd_ >= 0; }
    bool Send(const std::vector<uint8_t>& frame);
    // The next station frame from the other end within timeoutMs, or nullopt.
    std::optional<std::vector<uint8_t>> Next(int timeoutMs);

  private:
    int fd_ = -1;
};

} // namespace kestrel::test
