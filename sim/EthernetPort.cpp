#include "sim/EthernetPort.h"

#include "sim/Frames.h"
#include "sim/Station.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel::sim {

EthernetPort::EthernetPort(EventLoop& loop, Log& log, std::string interfaceName)
    : loop_(loop), log_(log), name_(std::move(interfaceName)) {}

EthernetPort::~EthernetPort() {
    if (fd_ >= 0) ::close(fd_);
}

bool EthernetPort::Open(std::string* why) {
    const unsigned int index = ::if_nametoindex(name_.c_str());
    if (index == 0) {
        *why = "no interface " + name_;
        return false;
    }
    fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (fd_ < 0) {
        *why = "cannot open a packet socket on " + name_ + ": " + std::strerror(errno);
        return false;
    }
    // The kernel passes only frames with AA AA at bytes 12-13.
    sock_filter code[] = {
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, 12},
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0xAAAA},
        {BPF_RET | BPF_K, 0, 0, 0xFFFF},
        {BPF_RET | BPF_K, 0, 0, 0},
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    if (::setsockopt(fd_, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        *why = "cannot filter frames on " + name_ + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = static_cast<int>(index);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *why = "cannot bind to " + name_ + ": " + std::strerror(errno);
        return false;
    }
    // Frames that queued up before the filter was attached are dropped.
    std::uint8_t scratch[2048];
    while (::recv(fd_, scratch, sizeof scratch, 0) > 0) {
    }
    loop_.Watch(fd_, [this] { OnReadable(); });
    return true;
}

void EthernetPort::OnReadable() {
    std::uint8_t buffer[65536];
    for (;;) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0) break;
        if (from.sll_pkttype == PACKET_OUTGOING) continue; // our own replies
        if (n < 14 || buffer[12] != 0xAA || buffer[13] != 0xAA) continue;
        const Bytes frame(buffer, buffer + n);
        for (Station* station : stations_)
            station->OnFrame(*this, frame);
    }
}

std::size_t EthernetPort::SendFrame(const Bytes& frame, SendFlags flags) {
    Bytes out = frame;
    if (flags.pad && out.size() < MinimumEthernetFrame) out.resize(MinimumEthernetFrame, 0);
    const ssize_t n = ::send(fd_, out.data(), out.size(), 0);
    if (n < 0) {
        log_.Line("-", name_, "--", std::string("send failed: ") + std::strerror(errno));
        return 0;
    }
    return static_cast<std::size_t>(n);
}

} // namespace kestrel::sim
