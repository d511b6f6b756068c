#include "station/SharedState.h"

namespace kestrel {

int32_t ComPortIndex = -1;
int32_t BaudIndex = -1;
std::vector<std::string> AdapterList;
std::string StartDir;
std::string SavedDir;
FirmwareInfo CurrentFirmwareInfo{};
StationConfig CurrentConfig{};

} // namespace kestrel
