// The link layer: exchanges with the current station over whichever link
// reaches it. The serial link is the process-wide serial component SerialDrv;
// the Ethernet link is the process-wide PacketChannel, opened and bound to the
// current station's adapter by the caller. The choice is made afresh on each
// call from StationTable.CurrentStation and the row's link index.
#pragma once

#include "link/SerialPortDriver.h"

#include <cstddef>
#include <cstdint>

namespace kestrel {

// The main window's serial component; nullptr before the window exists.
extern TSerialPortDriver* SerialDrv;

inline constexpr int CommandFrameSize = 98;
inline constexpr int CommandTextOffset = 18;
inline constexpr int CommandTextWidth = 80;
inline constexpr int MinimumEthernetFrame = 64;
inline constexpr int SerialReceiveBufferSize = 2000;

// The ports DetectComPort tries and the speeds and probe texts of
// DetectBaudRate, by the index those functions return (also the item
// indexes of the serial configuration dialog's lists).
inline constexpr TComPortNumber ComPortTable[4] = {pnCOM1, pnCOM2, pnCOM3, pnCOM4};
inline constexpr TComPortBaudRate BaudRateTable[5] = {br4800, br9600, br19200, br38400, br56000};
inline constexpr const char* BaudProbeTexts[5] = {"at&l4800\r\n", "at&l9600\r\n", "at&l19200\r\n",
                                                  "at&l38400\r\n", "at&l56000\r\n"};

// Sends one AT command line: as plain text on the serial line, in a 98-byte
// type-16 frame on Ethernet. A text of more than 79 characters does not fit
// the frame and is not sent on Ethernet (false): a cut command would set
// something other than what was typed.
bool SendCommandLine(const char* text);

// Receives the answer to a command line into buffer, at most capacity bytes;
// no terminating zero is added on the serial link. Returns the number of
// bytes placed, 0 when no answer came.
int ReceiveReplyLine(char* buffer, int capacity);

// Sends a binary frame: SLIP-framed on the serial line, at least 64 bytes on
// Ethernet. Always true.
bool SendFrame(const uint8_t* frame, int length);

// Receives one binary frame into buffer (at most capacity bytes). Returns its
// length, 0 when none came.
int ReceiveFrame(uint8_t* buffer, int capacity);

// Writes END, the escaped bytes and END, each byte by its own SendByte.
int SlipEncodeSend(const uint8_t* bytes, int length);

// Finds the first port of COM4..COM1 that opens, leaves it open and returns
// its index; -1 when none opens.
int DetectComPort(TSerialPortDriver& port);

// Finds the speed at which the station answers its probe; the index, or -1.
int DetectBaudRate(TSerialPortDriver& port);

// Forgets the serial bytes kept from behind an earlier frame.
void ResetSerialReceiveBuffer();

} // namespace kestrel
