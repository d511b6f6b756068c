// The process-wide table of the stations found by the last scan.
#pragma once

#include "station/StationRecords.h"

#include <array>
#include <cstdint>

namespace kestrel {

inline constexpr int StationTableRows = 30;
// CurrentStation's value for the serial station, which has no row of its own.
inline constexpr int32_t SerialStation = -1;
// A row's link index on the serial link; any other value is a position in AdapterList.
inline constexpr int32_t SerialLink = -1;

struct TStationTable {
    std::array<StationIdentity, StationTableRows> identities{};
    std::array<StationConfig, StationTableRows> configs{};
    std::array<int32_t, StationTableRows> linkIndexes{};
    int32_t ReplyTimeout = 0;
    int32_t StationCount = 0;
    int32_t CurrentStation = 0;
};

extern TStationTable StationTable;

// The link index of the current station's row: -1 (the serial link) for the
// serial station and for a current row outside the table.
int32_t CurrentLinkIndex();
// True when exchanges with the current station go over the serial link.
bool CurrentStationIsSerial();

// Back to the zeroed state of program start (tests start from it too).
void ResetStationTable();

} // namespace kestrel
