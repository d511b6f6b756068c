// The serial port component: opens one COM port, programs speed, framing and
// flow control from its properties, writes and reads with inactivity timeouts,
// and can poll the port from a timer and hand what arrived to event handlers.
//
// Reads and writes wait on the port (poll) instead of spinning; they still hold
// the calling thread for their whole length, with the wait hook run between
// slices.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kestrel {

class PollTimer;
class SerialDevice;

// Declared order is the ordinal value.
enum TComPortNumber : uint8_t {
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};

enum TComPortBaudRate : uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};

enum TComPortDataBits : uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };

// The ordinals are the stop-bit and parity codes that serial drivers use.
enum TComPortStopBits : uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity : uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };

// hhNONE: RTS off; hhNONERTSON: RTS on, no flow control; hhRTSCTS: RTS/CTS flow control.
enum TComPortHwHandshaking : uint8_t { hhNONE, hhNONERTSON, hhRTSCTS };
enum TComPortSwHandshaking : uint8_t { shNONE, shXONXOFF };

// What polling does with a partial packet that timed out.
enum TPacketMode : uint8_t { pmDiscard, pmPass };

// The bit rate in the enumerator's name (110 .. 115200).
int BaudRateBits(TComPortBaudRate rate);

// Modem lines reported by GetLineStatus.
constexpr unsigned LineCTS = 1u << 0;
constexpr unsigned LineDSR = 1u << 1;
constexpr unsigned LineRING = 1u << 2;
constexpr unsigned LineRLSD = 1u << 3;

class TSerialPortDriver;

// The bytes belong to the component and are valid during the call only.
using TComPortReceiveDataEvent =
    std::function<void(TSerialPortDriver* sender, const uint8_t* data, int dataSize)>;
using TComPortReceivePacketEvent =
    std::function<void(TSerialPortDriver* sender, const uint8_t* packet, int dataSize)>;

class TSerialPortDriver {
  public:
    // Disconnected, defaults set; the polling timer comes from CreatePollTimer().
    TSerialPortDriver();
    ~TSerialPortDriver();
    TSerialPortDriver(const TSerialPortDriver&) = delete;
    TSerialPortDriver& operator=(const TSerialPortDriver&) = delete;

    // Properties. The port number and the queue sizes change only while
    // disconnected; the six line settings are applied at once while connected.
    TComPortNumber ComPort() const { return comPort_; }
    void SetComPort(TComPortNumber port);
    TComPortBaudRate ComPortSpeed() const { return speed_; }
    void SetComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return dataBits_; }
    void SetComPortDataBits(TComPortDataBits bits);
    TComPortStopBits ComPortStopBits() const { return stopBits_; }
    void SetComPortStopBits(TComPortStopBits bits);
    TComPortParity ComPortParity() const { return parity_; }
    void SetComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return hwHandshaking_; }
    void SetComPortHwHandshaking(TComPortHwHandshaking handshaking);
    TComPortSwHandshaking ComPortSwHandshaking() const { return swHandshaking_; }
    void SetComPortSwHandshaking(TComPortSwHandshaking handshaking);
    uint16_t ComPortInBufSize() const { return inBufSize_; }
    void SetComPortInBufSize(uint16_t size);
    uint16_t ComPortOutBufSize() const { return outBufSize_; }
    void SetComPortOutBufSize(uint16_t size);
    // Below 1 stores -1 (no packet mode); above ComPortInBufSize raises it to twice the value.
    int16_t PacketSize() const { return packetSize_; }
    void SetPacketSize(int16_t size);
    // Below 1 stores -1 (never); below ComPortPollingDelay stores the delay + 150.
    int PacketTimeout() const { return packetTimeout_; }
    void SetPacketTimeout(int timeoutMs);
    TPacketMode PacketMode() const { return packetMode_; }
    void SetPacketMode(TPacketMode mode) { packetMode_ = mode; }
    uint16_t ComPortPollingDelay() const { return pollingDelay_; }
    void SetComPortPollingDelay(uint16_t delayMs);
    bool EnableDTROnOpen() const { return enableDtrOnOpen_; }
    void SetEnableDTROnOpen(bool enable) { enableDtrOnOpen_ = enable; }
    uint16_t OutputTimeout() const { return outputTimeout_; }
    void SetOutputTimeout(uint16_t timeoutMs) { outputTimeout_ = timeoutMs; }
    int InputTimeout() const { return inputTimeout_; }
    void SetInputTimeout(int timeoutMs) { inputTimeout_ = timeoutMs; }
    bool CheckLineStatus() const { return checkLineStatus_; }
    void SetCheckLineStatus(bool check) { checkLineStatus_ = check; }

    // Called by polling: bytes outside packet mode, whole (and in pmPass
    // partial) packets in packet mode.
    TComPortReceiveDataEvent OnReceiveData;
    TComPortReceivePacketEvent OnReceivePacket;

    // True when connected, also when it already was. Opens the port's device
    // exclusively, programs it and starts polling.
    bool Connect();
    void Disconnect();
    bool Connected() const;
    // Programs the open port from the properties and purges both queues.
    void ApplyComSettings();
    void FlushBuffers(bool input, bool output);

    // Bytes waiting in the input queue; 65535 when not connected.
    int InQueueCount();
    // ComPortOutBufSize minus the bytes waiting to go out; -1 when not connected.
    int16_t OutFreeSpace();
    // The modem lines that are on (LineCTS | LineDSR | LineRING | LineRLSD);
    // 0 when not connected or unreadable.
    unsigned GetLineStatus();

    // Writes count bytes; gives up after timeoutMs (OutputTimeout) without
    // progress. Returns the number of bytes written; 0 at once when closed.
    int SendData(const void* buffer, int count);
    int SendData(const void* buffer, int count, int timeoutMs);
    bool SendByte(uint8_t b);
    // True when every byte of the text (without its terminating zero) went out.
    bool SendString(const char* text);
    // Reads until count bytes arrived or the line was silent for longer than
    // InputTimeout ms since the last byte. 0 at once when closed.
    int ReadData(void* buffer, int count);

    // Polling reads only while the hold count is 0 or less.
    void PausePolling() { ++holdCount_; }
    void ContinuePolling() { --holdCount_; }
    int HoldCount() const { return holdCount_; }

    // Flow-control thresholds of the open port: ComPortInBufSize / 4, at most 4096.
    int XonLim() const { return xonLim_; }
    int XoffLim() const { return xoffLim_; }

    // Goes up each time queued input is thrown away (a flush of the input, a
    // connect or a disconnect): a reader that keeps bytes read ahead drops them
    // when this changes.
    uint32_t InputDiscardCount() const { return inputDiscardCount_; }

    // The timer that drives polling (a manual one unless the front end
    // installed a timer factory).
    PollTimer& PollingTimer() { return *timer_; }

  private:
    void PollingTick();
    void StartPolling();
    void ResizeReceiveBuffer(uint16_t size);
    void DeliverPackets(int waiting);
    void HandlePartialPacket(int waiting);
    int ReadAvailable(uint8_t* buffer, int count);
    int OutputRoom();

    // Shared so that a wait in progress keeps the device alive if the wait
    // hook ends up disconnecting the port.
    std::shared_ptr<SerialDevice> device_;
    TComPortNumber comPort_ = pnCOM2;
    TComPortBaudRate speed_ = br9600;
    TComPortDataBits dataBits_ = db8BITS;
    TComPortStopBits stopBits_ = sb1BITS;
    TComPortParity parity_ = ptNONE;
    TComPortHwHandshaking hwHandshaking_ = hhNONERTSON;
    TComPortSwHandshaking swHandshaking_ = shNONE;
    uint16_t inBufSize_ = 2048;
    uint16_t outBufSize_ = 2048;
    int16_t packetSize_ = -1;
    int packetTimeout_ = -1;
    TPacketMode packetMode_ = pmDiscard;
    uint16_t pollingDelay_ = 50;
    bool enableDtrOnOpen_ = true;
    uint16_t outputTimeout_ = 500;
    int inputTimeout_ = 200;
    bool checkLineStatus_ = false;

    std::unique_ptr<PollTimer> timer_;
    std::vector<uint8_t> receiveBuffer_;
    bool packetStarted_ = false;
    uint32_t packetStart_ = 0;
    int holdCount_ = 0;
    int xonLim_ = 0;
    int xoffLim_ = 0;
    uint32_t inputDiscardCount_ = 0;
};

} // namespace kestrel
