// What a simulated station is: its identity, its settings at start, the way
// it answers and the faults it is told to show.
#pragma once

#include "sim/Bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrel::sim {

// Where a station takes AT command frames on Ethernet.
enum class CommandAddress { StationAddress, Mac, Both, None };

struct Faults {
    bool silent = false;        // answers nothing at all
    bool truncated = false;     // frames and answers cut to half (frames keep their header)
    bool badMarker = false;     // frames carry a wrong second marker
    bool badSlip = false;       // serial frames lack their closing END
    bool longText = false;      // answers and identity texts overrun their fields
    bool refuseUpgrade = false; // the upgrade answer says no
    int stallAfterBlocks = -1;  // stop the upgrade after this many blocks (-1: never)
};

struct Settings {
    int networkType = 3; // the station's count: 1 Bss, 2 IBss, 3 Access Point, 4 Repeater, 5
    std::string essid = "kestrel";
    int channel = 6;
    bool includeMode = false;
    std::vector<Mac> accessList;
};

struct StationSetup {
    std::string name;
    std::vector<std::string> links; // "serial" or interface names
    Mac mac{};
    std::optional<Mac> stationAddress; // identity offset 18; the MAC when not set
    std::string manufacturer = "Nimbus Radio";
    std::string product = "NR-2400 Wireless LAN";
    std::string model = "NR-11";
    std::uint8_t version[2] = {'2', '1'};
    int domain = 2; // index into FCC, IC, ETSI, Spain, France, MKK
    std::string password = "admin";
    Settings settings;
    CommandAddress commandAddress = CommandAddress::StationAddress;
    int restartMs = 300;
    std::string banner = "\r\nREADY\r\n";
    int blockSize = 1024;
    int retryMs = 3000;
    int paceMs = 0;
    int maxRetries = 10;
    std::string imageOut;
    Faults faults;
};

} // namespace kestrel::sim
