#include "station/RebootWait.h"

#include "link/LinkLayer.h"
#include "platform/RebootWait.h"
#include "station/StationTable.h"

#include <limits>

namespace kestrel {

int32_t RebootPollCount = 0;

namespace {

constexpr int PollBufferSize = 200;

// Any byte the restarted station emits counts as its answer; nothing is sent.
int PollSerialStation(char* buffer) {
    return SerialDrv ? SerialDrv->ReadData(buffer, PollBufferSize) : 0;
}

int PollEthernetStation(char* buffer) {
    SendCommandLine("AT\r\n");
    return ReceiveReplyLine(buffer, PollBufferSize);
}

} // namespace

int PollRebootingStation() {
    char buffer[PollBufferSize];
    SendCommandLine("ATz\r\n");
    const bool serial = CurrentStationIsSerial();
    int received = 0;
    do {
        received = serial ? PollSerialStation(buffer) : PollEthernetStation(buffer);
        if (received > 0) break;
        if (RebootPollCount > std::numeric_limits<int32_t>::min()) --RebootPollCount;
    } while (RebootPollCount > 0);
    return received > 0 ? ModalResultOk : ModalResultCancel;
}

} // namespace kestrel
