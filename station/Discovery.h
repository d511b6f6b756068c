// The scan for stations: the serial station first, then every station that
// answers a discovery broadcast on each adapter.
#pragma once

#include "platform/StationList.h"
#include "station/StationRecords.h"

#include <cstdint>

namespace kestrel {

// Rows that one adapter may fill at most while the table is below this count.
inline constexpr int DiscoveryRowTarget = 15;
// Pauses of the scan: after an adapter's discovery, and before each station's queries.
inline constexpr int PauseAfterDiscoveryMs = 2000;
inline constexpr int PauseBeforeStationMs = 1000;

// Rebuilds the station table and the list in one pass.
void ScanStations(StationListSink& list);

// How many new stations discovery may store on the next adapter when
// stationCount rows are filled: up to 15 rows in all, one per adapter from 15
// rows on, none once the table is full.
int DiscoveryCapacity(int stationCount);
// The stations of an adapter's discovery that fit the table behind
// stationCount rows (discovery may report more than it was allowed).
int StationsThatFit(int stationCount, int found);

// The "Station" column: six "%02X " groups, so the text ends in a space.
std::string StationAddressText(const MacAddress& address);
// A list row from a table row: the address text is the one taken before any
// change of the station address; the type is blank for an unknown type (three
// spaces on the serial row, two on an Ethernet row).
StationRow MakeStationRow(const std::string& addressText, bool serial,
                          const StationIdentity& identity, const StationConfig& config);

} // namespace kestrel
