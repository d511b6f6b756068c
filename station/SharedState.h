// Process-wide state that the main window sets up and the protocol, the scan
// and the dialogs read: the detected serial port and speed, the adapters, the
// start directory and the records of the station being shown.
#pragma once

#include "station/StationRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// Index into the COM 1..COM 4 table, or -1 when no port could be opened.
extern int32_t ComPortIndex;
// Index into the 4800..56000 speed table, or -1 when no speed got an answer.
extern int32_t BaudIndex;
// The adapters that scans search; a table row's link index is a position here.
extern std::vector<std::string> AdapterList;
// The directory that was current at start; current around every driver open.
extern std::string StartDir;
extern std::string SavedDir;

extern FirmwareInfo CurrentFirmwareInfo;
extern StationConfig CurrentConfig;

} // namespace kestrel
