#include "tests/support/PacketPeer.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel::test {

PacketPeer::PacketPeer(const std::string& interfaceName) {
    fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = static_cast<int>(if_nametoindex(interfaceName.c_str()));
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

PacketPeer::~PacketPeer() {
    if (fd_ >= 0) ::close(fd_);
}

bool PacketPeer::Send(const std::vector<uint8_t>& frame) {
    return ::send(fd_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size());
}

std::optional<std::vector<uint8_t>> PacketPeer::Next(int timeoutMs) {
    for (;;) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0) return std::nullopt;
        std::vector<uint8_t> frame(4000);
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd_, frame.data(), frame.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) return std::nullopt;
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        if (got < 14 || frame[12] != 0xAA || frame[13] != 0xAA) continue;
        frame.resize(static_cast<size_t>(got));
        return frame;
    }
}

} // namespace kestrel::test
