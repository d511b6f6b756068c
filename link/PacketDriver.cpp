#include "link/PacketDriver.h"

namespace kestrel {

bool RequestResult(PacketDriver& driver, PacketRequest& request, uint32_t& bytes, bool wait) {
    if (!request.Completed) {
        if (!wait || !driver.WaitForRequest(request, -1) || !request.Completed) return false;
    }
    bytes = request.Bytes;
    return request.Error == 0;
}

} // namespace kestrel
