// Programs a serial line's speed, framing and flow control. Any bit rate is set
// exactly (also those without a standard constant, such as 14400 and 56000):
// a station at 56000 bit/s does not answer at 57600.
#pragma once

namespace kestrel {

enum class SerialStopBits { One, OneAndHalf, Two };
enum class SerialParity { None, Odd, Even, Mark, Space };

struct SerialLineSettings {
    int bitRate = 9600;
    int dataBits = 8; // 5 .. 8
    SerialStopBits stopBits = SerialStopBits::One;
    SerialParity parity = SerialParity::None;
    bool rtsCtsFlow = false;
    bool xonXoffFlow = false;
    unsigned char xonChar = 0x11;
    unsigned char xoffChar = 0x13;
};

// Puts the terminal on fd in raw mode (no echo, no line editing, no character
// translation, receiver on, modem control lines ignored for opening) with the
// given settings. False when the device refused them.
bool ProgramSerialLine(int fd, const SerialLineSettings& settings);

// The output bit rate the terminal holds, or -1 when it cannot be read.
int SerialLineBitRate(int fd);

} // namespace kestrel
