#include "link/LinkLayer.h"

#include "link/PacketChannel.h"
#include "link/Slip.h"
#include "platform/Wait.h"
#include "station/StationTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace kestrel {

TSerialPortDriver* SerialDrv = nullptr;

namespace {

std::array<uint8_t, CommandFrameSize> commandFrame{};
std::array<uint8_t, CommandFrameSize> replyFrame{};

// Serial bytes read but not yet handed over as a frame. The bytes behind a
// frame's END stay here for the next ReceiveFrame; a flush of the port's
// input (seen through its discard count) throws them away too.
std::array<uint8_t, SerialReceiveBufferSize> serialBuffer{};
size_t serialFill = 0;
uint32_t serialDiscardCount = 0;

bool EthernetUsable() {
    return PacketChannel && PacketChannel->Open;
}

MacAddress CurrentStationAddress() {
    const int32_t row = StationTable.CurrentStation;
    if (row < 0 || row >= StationTableRows) return BroadcastAddress;
    return StationTable.identities[static_cast<size_t>(row)].StationAddress();
}

bool SendEthernetCommand(const char* text) {
    const size_t length = std::strlen(text);
    if (length >= CommandTextWidth || !EthernetUsable()) return false;
    FrameHeader header;
    header.destination = CurrentStationAddress();
    std::copy(PacketChannel->AdapterAddress.begin(), PacketChannel->AdapterAddress.end(),
              header.source.begin());
    header.type = CommandLineFrame;
    commandFrame.fill(0); // no tail of an earlier command (a password) travels along
    header.WriteTo(commandFrame);
    std::memcpy(commandFrame.data() + CommandTextOffset, text, length);
    return SendPacket(commandFrame.data(), CommandFrameSize);
}

int ReceiveEthernetReply(char* buffer, int capacity) {
    if (!EthernetUsable()) return 0;
    replyFrame.fill(0);
    int length = CommandFrameSize;
    if (!ReceivePacket(replyFrame.data(), length, StationTable.ReplyTimeout)) return 0;
    if (!IsFrameOf(std::span(replyFrame.data(), static_cast<size_t>(length)), ProtocolMarker,
                   CommandReplyFrame))
        return 0;
    const auto text = std::span(replyFrame).subspan(CommandTextOffset, CommandTextWidth);
    const size_t textLength = std::find(text.begin(), text.end(), uint8_t{0}) - text.begin();
    const size_t copied = std::min(textLength, static_cast<size_t>(std::max(capacity, 0)));
    std::memcpy(buffer, text.data(), copied);
    if (copied < static_cast<size_t>(std::max(capacity, 0))) buffer[copied] = '\0';
    return static_cast<int>(copied);
}

// The index of the END that closes the first non-empty frame in the serial
// buffer, or -1 while no whole frame is there. Bytes before the first END are
// noise, and an ESC takes the byte behind it, as the decoder does.
long FindSerialFrameEnd() {
    size_t at = 0;
    while (at < serialFill && serialBuffer[at] != SlipEnd)
        ++at;
    bool data = false;
    for (; at < serialFill; ++at) {
        const uint8_t byte = serialBuffer[at];
        if (byte == SlipEnd) {
            if (data) return static_cast<long>(at);
        } else {
            data = true;
            if (byte == SlipEsc) ++at;
        }
    }
    return -1;
}

// Keeps the bytes from position `from` on; the END there starts the next frame.
void KeepSerialBytesFrom(size_t from) {
    std::memmove(serialBuffer.data(), serialBuffer.data() + from, serialFill - from);
    serialFill -= from;
}

void DropSerialBytesIfFlushed() {
    if (SerialDrv->InputDiscardCount() != serialDiscardCount) {
        serialDiscardCount = SerialDrv->InputDiscardCount();
        serialFill = 0;
    }
}

// Reads what the port has: waits up to the port's silence timeout for one
// byte, then takes whatever else is already queued. False on silence.
bool ReadMoreSerialBytes() {
    const int got = SerialDrv->ReadData(serialBuffer.data() + serialFill, 1);
    if (got <= 0) return false;
    serialFill += static_cast<size_t>(got);
    const int queued = std::min<int>(SerialDrv->InQueueCount(),
                                     static_cast<int>(serialBuffer.size() - serialFill));
    if (queued > 0)
        serialFill += static_cast<size_t>(
            std::max(0, SerialDrv->ReadData(serialBuffer.data() + serialFill, queued)));
    return true;
}

int ReceiveSerialFrame(uint8_t* buffer, int capacity) {
    if (!SerialDrv || !SerialDrv->Connected()) return 0;
    DropSerialBytesIfFlushed();
    for (;;) {
        const long end = FindSerialFrameEnd();
        if (end >= 0) {
            const int length =
                SlipDecode(buffer, capacity, serialBuffer.data(), static_cast<size_t>(end) + 1);
            KeepSerialBytesFrom(static_cast<size_t>(end));
            return length;
        }
        if (serialFill == serialBuffer.size() || !ReadMoreSerialBytes()) {
            // 2000 bytes without a frame, or the line fell silent before an END.
            serialFill = 0;
            return 0;
        }
        DropSerialBytesIfFlushed();
    }
}

} // namespace

bool SendCommandLine(const char* text) {
    if (CurrentStationIsSerial()) return SerialDrv && SerialDrv->SendString(text);
    return SendEthernetCommand(text);
}

int ReceiveReplyLine(char* buffer, int capacity) {
    if (CurrentStationIsSerial())
        return SerialDrv ? SerialDrv->ReadData(buffer, std::max(capacity, 0)) : 0;
    return ReceiveEthernetReply(buffer, capacity);
}

bool SendFrame(const uint8_t* frame, int length) {
    if (CurrentStationIsSerial()) {
        SlipEncodeSend(frame, length);
        return true;
    }
    if (!EthernetUsable() || length < 0) return true;
    if (length >= MinimumEthernetFrame) {
        SendPacket(frame, length);
        return true;
    }
    std::array<uint8_t, MinimumEthernetFrame> padded{};
    std::memcpy(padded.data(), frame, static_cast<size_t>(length));
    SendPacket(padded.data(), MinimumEthernetFrame);
    return true;
}

int ReceiveFrame(uint8_t* buffer, int capacity) {
    if (CurrentStationIsSerial()) return ReceiveSerialFrame(buffer, capacity);
    if (!EthernetUsable()) return 0;
    int length = std::max(capacity, 0);
    if (!ReceivePacket(buffer, length, StationTable.ReplyTimeout)) return 0;
    return length;
}

int SlipEncodeSend(const uint8_t* bytes, int length) {
    if (!SerialDrv) return 1;
    SerialDrv->SendByte(SlipEnd);
    for (int i = 0; i < length; ++i) {
        const uint8_t byte = bytes[i];
        if (byte == SlipEnd) {
            SerialDrv->SendByte(SlipEsc);
            SerialDrv->SendByte(SlipEscEnd);
        } else if (byte == SlipEsc) {
            SerialDrv->SendByte(SlipEsc);
            SerialDrv->SendByte(SlipEscEsc);
        } else {
            SerialDrv->SendByte(byte);
        }
    }
    SerialDrv->SendByte(SlipEnd);
    return 1;
}

int DetectComPort(TSerialPortDriver& port) {
    if (port.Connected()) port.Disconnect();
    for (int index = 3; index >= 0; --index) {
        port.SetComPort(ComPortTable[index]);
        if (port.Connect()) return index;
    }
    return -1;
}

int DetectBaudRate(TSerialPortDriver& port) {
    port.PausePolling();
    port.SendString("+++\r\n");
    SleepMs(100);
    for (int index = 0; index < 5; ++index) {
        port.SetComPortSpeed(BaudRateTable[index]);
        port.SendString(BaudProbeTexts[index]);
        char answer[10];
        if (port.ReadData(answer, sizeof answer) > 0) return index;
    }
    return -1;
}

void ResetSerialReceiveBuffer() {
    serialFill = 0;
}

} // namespace kestrel
