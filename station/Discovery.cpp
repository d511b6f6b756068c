#include "station/Discovery.h"

#include "station/StationTable.h"

namespace kestrel {

void ScanStations(StationListSink& list) {
    StationTable.StationCount = 0;
    list.DeleteAllRows();
}

} // namespace kestrel
