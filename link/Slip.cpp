#include "link/Slip.h"

namespace kestrel {

int SlipDecode(uint8_t* output, int capacity, const uint8_t* input, size_t inputLength,
               size_t* consumed) {
    size_t at = 0;
    int room = capacity;
    while (at < inputLength && input[at] != SlipEnd) {
        ++at;
        if (--room <= 0) return 0;
    }
    int stored = 0;
    while (at < inputLength) {
        uint8_t byte = input[at++];
        if (byte == SlipEnd) {
            if (stored == 0) continue; // leading ENDs and empty frames
            if (consumed) *consumed = at;
            return stored;
        }
        if (byte == SlipEsc) {
            if (at >= inputLength) return 0;
            byte = input[at++];
            if (byte == SlipEscEnd)
                byte = SlipEnd;
            else if (byte == SlipEscEsc)
                byte = SlipEsc;
        }
        if (stored >= room) return 0;
        output[stored++] = byte;
    }
    return 0; // the data ended before an END closed the frame
}

} // namespace kestrel
