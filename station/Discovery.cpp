#include "station/Discovery.h"

#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "platform/Wait.h"
#include "station/Protocol.h"
#include "station/SharedState.h"
#include "station/StationTable.h"

#include <algorithm>
#include <cstdio>

namespace kestrel {

namespace {

constexpr int SerialProbeReplySize = 20;

// A silent port is closed again, so the next scan probes it afresh; a port
// that is already connected is left as it is.
void ProbeSerialPort() {
    if (!SerialDrv || SerialDrv->Connected() || !SerialDrv->Connect()) return;
    SerialDrv->SendString("AT\r\n");
    char reply[SerialProbeReplySize];
    if (SerialDrv->ReadData(reply, SerialProbeReplySize) <= 0) SerialDrv->Disconnect();
}

bool SerialStationReachable() {
    return ComPortIndex != -1 && BaudIndex != -1 && SerialDrv && SerialDrv->Connected();
}

// Row 0's records are not cleared first: a query that fails leaves what an
// earlier scan stored.
void AddSerialRow(StationListSink& list) {
    StationTable.CurrentStation = SerialStation;
    StationIdentity& identity = StationTable.identities[0];
    StationConfig& config = StationTable.configs[0];
    QueryStationIdentity(identity);
    ReadStationConfig(config);
    list.AddRow(
        MakeStationRow(StationAddressText(identity.StationAddress()), true, identity, config));
    StationTable.linkIndexes[0] = SerialLink;
    StationTable.StationCount = 1;
}

// Reads the configuration of the discovered station in row r. A station that
// does not take commands at its station address is tried once more at the
// source of its discovery reply, and addressed there from then on.
void AddEthernetRow(StationListSink& list, int row, int adapter) {
    SleepMs(PauseBeforeStationMs);
    const auto r = static_cast<size_t>(row);
    StationIdentity& identity = StationTable.identities[r];
    StationConfig& config = StationTable.configs[r];
    StationTable.linkIndexes[r] = adapter;
    const std::string addressText = StationAddressText(identity.StationAddress());
    config = StationConfig{};
    config.networkType = NetworkTypeUnknown;
    if (!ReadStationConfig(config)) {
        identity.SetStationAddress(identity.ReplySource());
        ReadStationConfig(config);
    }
    list.AddRow(MakeStationRow(addressText, false, identity, config));
}

void ScanAdapter(StationListSink& list, int adapter) {
    const int capacity = DiscoveryCapacity(StationTable.StationCount);
    // A full table takes no row: the adapter is not searched at all.
    if (capacity <= 0) return;
    if (!OpenPacketChannel(AdapterList[static_cast<size_t>(adapter)])) return;
    if (!EnablePacketFilter()) {
        ClosePacketChannel();
        return;
    }
    const int first = StationTable.StationCount;
    StationTable.CurrentStation = first;
    StationTable.linkIndexes[static_cast<size_t>(first)] = adapter;
    const int found = StationsThatFit(
        first, DiscoverStations(&StationTable.identities[static_cast<size_t>(first)], capacity));
    SleepMs(PauseAfterDiscoveryMs);
    for (int n = 0; n < found; ++n) {
        StationTable.CurrentStation = StationTable.StationCount;
        AddEthernetRow(list, StationTable.StationCount, adapter);
        ++StationTable.StationCount;
    }
    StationTable.CurrentStation = StationTable.StationCount;
    ClosePacketChannel();
}

} // namespace

int DiscoveryCapacity(int stationCount) {
    if (stationCount >= StationTableRows) return 0;
    return std::max(DiscoveryRowTarget - stationCount, 1);
}

int StationsThatFit(int stationCount, int found) {
    return std::clamp(found, 0, std::max(StationTableRows - stationCount, 0));
}

std::string StationAddressText(const MacAddress& address) {
    std::string text;
    char group[4];
    for (uint8_t byte : address) {
        std::snprintf(group, sizeof group, "%02X ", byte);
        text += group;
    }
    return text;
}

StationRow MakeStationRow(const std::string& addressText, bool serial,
                          const StationIdentity& identity, const StationConfig& config) {
    std::string type = config.networkType == NetworkTypeUnknown
                           ? std::string(serial ? "   " : "  ")
                           : NetworkTypeName(config.networkType);
    return {addressText,
            serial ? "RS232" : "Ethernet",
            std::move(type),
            std::to_string(config.channel),
            identity.Manufacturer(),
            TextOf(config.essid),
            DomainName(config.domain)};
}

void ScanStations(StationListSink& list) {
    const int adapters = static_cast<int>(AdapterList.size());
    StationTable.StationCount = 0;
    list.DeleteAllRows();
    ProbeSerialPort();
    if (SerialStationReachable()) AddSerialRow(list);
    for (int adapter = 0; adapter < adapters; ++adapter)
        ScanAdapter(list, adapter);
}

} // namespace kestrel
