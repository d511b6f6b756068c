// The packet driver as the channel sees it: a device that is opened and closed
// and otherwise driven through one control call, with a control code, an input
// and an output buffer, and either a synchronous call or an overlapped request
// that completes later (a receive stays pending until a frame arrives).
#pragma once

#include <cstdint>

namespace kestrel {

using PacketHandle = int;
constexpr PacketHandle InvalidPacketHandle = -1;

// Codes built as (device type 0x22 << 16) | (any access << 14) | (function << 2) | buffered.
constexpr uint32_t PacketControlCode(uint32_t function) {
    return (0x22u << 16) | (function << 2);
}

constexpr uint32_t PacketReceiveCode = PacketControlCode(0x802);      // 0x00222008
constexpr uint32_t PacketTransmitCode = PacketControlCode(0x803);     // 0x0022200C
constexpr uint32_t PacketBindCode = PacketControlCode(0x805);         // 0x00222014
constexpr uint32_t PacketReadAddressCode = PacketControlCode(0x807);  // 0x0022201C
constexpr uint32_t PacketEnableFilterCode = PacketControlCode(0x809); // 0x00222024

// Error numbers are the system's errno values, plus this one for a system
// that has no packet capture at all.
constexpr int PacketErrorNotSupported = 50;

enum class PacketCallStatus {
    Done,    // completed during the call; bytes holds the byte count
    Pending, // overlapped request accepted; it completes later
    Failed,  // refused; error holds the reason
};

struct PacketCallResult {
    PacketCallStatus status = PacketCallStatus::Failed;
    uint32_t bytes = 0;
    int error = 0;
};

// The record of one overlapped request. The caller owns it and keeps it alive
// and untouched while it is pending; the driver fills in the outcome.
struct PacketRequest {
    bool Completed = false; // the driver has finished with the request
    bool Signalled = false; // the completion event; the caller resets it
    uint32_t Bytes = 0;     // byte count of a completed request
    int Error = 0;          // 0: succeeded; else why it failed (ECANCELED: handle closed)

    // The driver's bookkeeping for a pending request.
    PacketHandle Handle = InvalidPacketHandle;
    uint8_t* Output = nullptr;
    uint32_t OutputLength = 0;
};

class PacketDriver {
  public:
    virtual ~PacketDriver() = default;

    // Opens the device. On failure returns InvalidPacketHandle with the error number in error.
    virtual PacketHandle OpenDevice(int& error) = 0;
    // Closes the device; requests still pending on it complete with ECANCELED.
    virtual void CloseDevice(PacketHandle handle) = 0;

    // The one control call. request == nullptr makes it synchronous; otherwise
    // the call may return Pending and complete the request later.
    virtual PacketCallResult Control(PacketHandle handle, uint32_t code, const uint8_t* input,
                                     uint32_t inputLength, uint8_t* output, uint32_t outputLength,
                                     PacketRequest* request) = 0;

    // Waits up to timeoutMs (negative: no limit) for the request's event.
    // True when it is signalled; false on timeout or when it can never be.
    virtual bool WaitForRequest(PacketRequest& request, int timeoutMs) = 0;
};

// The outcome of an overlapped request: false while it is incomplete (after
// waiting for it when wait is set) or when it failed; bytes gets its count.
bool RequestResult(PacketDriver& driver, PacketRequest& request, uint32_t& bytes, bool wait);

} // namespace kestrel
