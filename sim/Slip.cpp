#include "sim/Slip.h"

namespace kestrel::sim {

namespace {
constexpr std::uint8_t End = 0xC0;
constexpr std::uint8_t Esc = 0xDB;
constexpr std::uint8_t EscEnd = 0xDC;
constexpr std::uint8_t EscEsc = 0xDD;
} // namespace

Bytes SlipEncode(const Bytes& frame, bool closingEnd) {
    Bytes out;
    out.reserve(frame.size() + 8);
    out.push_back(End);
    for (const std::uint8_t b : frame) {
        if (b == End) {
            out.push_back(Esc);
            out.push_back(EscEnd);
        } else if (b == Esc) {
            out.push_back(Esc);
            out.push_back(EscEsc);
        } else {
            out.push_back(b);
        }
    }
    if (closingEnd) out.push_back(End);
    return out;
}

void SlipDecoder::Reset() {
    current_.clear();
    inFrame_ = false;
    escaped_ = false;
    overflow_ = false;
}

bool SlipDecoder::Feed(std::uint8_t byte, Bytes* frame) {
    if (byte == End) {
        if (!inFrame_ || (current_.empty() && !overflow_)) {
            // Opening END, or an empty frame: keep waiting for data.
            inFrame_ = true;
            escaped_ = false;
            return false;
        }
        const bool complete = !overflow_;
        if (complete) *frame = current_;
        Reset();
        return complete;
    }
    if (!inFrame_) return false;
    if (escaped_) {
        escaped_ = false;
        if (byte == EscEnd)
            byte = End;
        else if (byte == EscEsc)
            byte = Esc;
    } else if (byte == Esc) {
        escaped_ = true;
        return false;
    }
    if (current_.size() >= limit_) {
        overflow_ = true;
        return false;
    }
    current_.push_back(byte);
    return false;
}

} // namespace kestrel::sim
