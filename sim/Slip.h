// SLIP framing of the serial line's data mode (END C0, ESC DB, ESC_END DC,
// ESC_ESC DD).
#pragma once

#include "sim/Bytes.h"

#include <functional>

namespace kestrel::sim {

// END, the escaped frame, and END unless closingEnd is false (a fault mode).
Bytes SlipEncode(const Bytes& frame, bool closingEnd = true);

// Collects frames from a byte stream. Empty frames (END END) are passed over;
// frames longer than the limit are dropped whole.
class SlipDecoder {
  public:
    explicit SlipDecoder(std::size_t limit = 4096) : limit_(limit) {}

    // Feeds one byte; returns true and fills *frame when it closed a frame.
    bool Feed(std::uint8_t byte, Bytes* frame);
    // True between an opening END and the END that closes the frame.
    bool InFrame() const { return inFrame_; }
    void Reset();

  private:
    std::size_t limit_;
    Bytes current_;
    bool inFrame_ = false;
    bool escaped_ = false;
    bool overflow_ = false;
};

} // namespace kestrel::sim
