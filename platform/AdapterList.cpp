#include "platform/AdapterList.h"

#include <algorithm>
#include <linux/if_packet.h>
#include <pcap/pcap.h>
#include <sys/socket.h>

namespace kestrel {

namespace {
bool HasMacAddress(const pcap_if_t* device) {
    for (const pcap_addr_t* a = device->addresses; a; a = a->next) {
        if (!a->addr || a->addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(a->addr);
        if (link->sll_halen == 6) return true;
    }
    return false;
}
} // namespace

std::vector<std::string> ReadAdapterList() {
    std::vector<std::string> names;
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* devices = nullptr;
    if (pcap_findalldevs(&devices, error) != 0) return names;
    for (const pcap_if_t* d = devices; d; d = d->next) {
        if (d->flags & PCAP_IF_LOOPBACK) continue;
        if (HasMacAddress(d)) names.emplace_back(d->name);
    }
    pcap_freealldevs(devices);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace kestrel
