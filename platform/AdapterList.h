#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The network adapters the station scan searches: the devices that the capture
// library lists with a six-byte hardware address, loopback excluded, in name
// order. An unreadable list is an empty list.
std::vector<std::string> ReadAdapterList();

} // namespace kestrel
