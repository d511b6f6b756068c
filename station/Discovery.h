// The scan for stations: the serial station first, then every station that
// answers a discovery broadcast on each adapter.
#pragma once

#include "platform/StationList.h"

namespace kestrel {

// Rebuilds the station table and the list in one pass.
void ScanStations(StationListSink& list);

} // namespace kestrel
