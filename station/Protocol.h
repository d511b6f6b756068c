// What the PC and a station say to each other above the link layer: the AT
// command set for identity, configuration and the password session, and the
// operations that exchange the frames and fill the station records. All
// operations address StationTable.CurrentStation, except DiscoverStations,
// which asks every station on the adapter the PacketChannel is bound to.
#pragma once

#include "station/StationRecords.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// The password that OpenSession sends (at most 10 characters); set by the
// information dialog.
extern std::string SessionPassword;

// Stores up to capacity new stations (by station address) that answer a
// broadcast identity request, two rounds of 15 receives; returns the count.
// A capacity of 0 or less stores nothing.
int DiscoverStations(StationIdentity* slots, int capacity);

// Asks the current station for its identity; true when it answered.
bool QueryStationIdentity(StationIdentity& identity);
// The same exchange, filling the firmware information.
bool QueryFirmwareInfo(FirmwareInfo& info);

// Five AT queries into config (all but the station address); true when all
// were answered.
bool ReadStationConfig(StationConfig& config);
// Sends network type, ESSID and channel, stores them ("AT&w") and waits for
// the restart; true when the station confirmed and came back.
bool WriteStationConfig(const StationConfig& config);

bool OpenSession();
void CloseSession();

// The index of the first keyword of a "$"-ended table of slotWidth-byte slots
// that occurs in reply (longer keywords that contain shorter ones first), or -1.
int MatchKeyword(std::string_view reply, const char* table, int slotWidth);

// Shows the reboot wait with the given number of polls; true when the station
// answered.
bool WaitForReboot(int polls);

} // namespace kestrel
