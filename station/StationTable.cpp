#include "station/StationTable.h"

namespace kestrel {

TStationTable StationTable;

int32_t CurrentLinkIndex() {
    const int32_t row = StationTable.CurrentStation;
    // After a scan CurrentStation can point one past the last row; such a row
    // has no link, and the serial link sends no frame on any adapter.
    if (row < 0 || row >= StationTableRows) return SerialLink;
    return StationTable.linkIndexes[static_cast<size_t>(row)];
}

bool CurrentStationIsSerial() {
    return CurrentLinkIndex() == SerialLink;
}

void ResetStationTable() {
    StationTable = TStationTable{};
}

} // namespace kestrel
