// One way a station is reached: the serial line or an Ethernet interface.
#pragma once

#include "sim/Bytes.h"

#include <string>

namespace kestrel::sim {

struct SendFlags {
    bool pad = true;        // Ethernet: lengthen short frames to 64 bytes
    bool closingEnd = true; // serial: close the SLIP frame with END
};

class Link {
  public:
    virtual ~Link() = default;
    virtual const std::string& Name() const = 0;
    virtual bool IsSerial() const = 0;
    // False while the station cannot be heard (serial line at a foreign speed).
    virtual bool CanSend() = 0;
    // The frame as it goes on the wire; returns the number of frame bytes
    // sent (after padding), 0 when nothing went out.
    virtual std::size_t SendFrame(const Bytes& frame, SendFlags flags) = 0;
    // Plain text on the serial line; nothing on Ethernet.
    virtual void SendText(const std::string& text) = 0;
    // Serial mode switches; Ethernet has no modes.
    virtual void EnterDataMode() {}
    virtual void EnterCommandMode() {}
    // The station restarted: forget half-received input.
    virtual void StationRestarted() {}
};

} // namespace kestrel::sim
