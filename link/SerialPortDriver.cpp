#include "link/SerialPortDriver.h"

#include "platform/PollTimer.h"
#include "platform/SerialDevice.h"
#include "platform/Wait.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrel {

namespace {

constexpr int NotConnectedQueueCount = 65535;
constexpr int FlowLimitCap = 4096;
// The shortest interval a polling timer runs at; a zero delay would spin.
constexpr int ShortestPollingIntervalMs = 10;
// When the device says it has room but takes nothing, or the output queue
// holds more than ComPortOutBufSize, look again after this long.
constexpr int WriteRetryMs = 5;

SerialStopBits StopBitsOf(TComPortStopBits bits) {
    switch (bits) {
    case sb1HALFBITS:
        return SerialStopBits::OneAndHalf;
    case sb2BITS:
        return SerialStopBits::Two;
    default:
        return SerialStopBits::One;
    }
}

SerialParity ParityOf(TComPortParity parity) {
    switch (parity) {
    case ptODD:
        return SerialParity::Odd;
    case ptEVEN:
        return SerialParity::Even;
    case ptMARK:
        return SerialParity::Mark;
    case ptSPACE:
        return SerialParity::Space;
    default:
        return SerialParity::None;
    }
}

int ElapsedSince(uint32_t tick) {
    return static_cast<int>(TickCountMs() - tick);
}

} // namespace

int BaudRateBits(TComPortBaudRate rate) {
    static constexpr int bits[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                   14400, 19200, 38400, 56000, 57600, 115200};
    const auto index = static_cast<size_t>(rate);
    return index < std::size(bits) ? bits[index] : 9600;
}

TSerialPortDriver::TSerialPortDriver() : timer_(CreatePollTimer()), receiveBuffer_(inBufSize_) {}

TSerialPortDriver::~TSerialPortDriver() {
    Disconnect();
}

void TSerialPortDriver::SetComPort(TComPortNumber port) {
    if (Connected()) return;
    comPort_ = port;
}

void TSerialPortDriver::SetComPortSpeed(TComPortBaudRate speed) {
    speed_ = speed;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortDataBits(TComPortDataBits bits) {
    dataBits_ = bits;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortStopBits(TComPortStopBits bits) {
    stopBits_ = bits;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortParity(TComPortParity parity) {
    parity_ = parity;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortHwHandshaking(TComPortHwHandshaking handshaking) {
    hwHandshaking_ = handshaking;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortSwHandshaking(TComPortSwHandshaking handshaking) {
    swHandshaking_ = handshaking;
    ApplyComSettings();
}

void TSerialPortDriver::SetComPortInBufSize(uint16_t size) {
    if (Connected()) return;
    ResizeReceiveBuffer(size);
    SetPacketSize(packetSize_);
}

void TSerialPortDriver::SetComPortOutBufSize(uint16_t size) {
    if (Connected()) return;
    outBufSize_ = size;
}

void TSerialPortDriver::SetPacketSize(int16_t size) {
    if (size < 1) {
        packetSize_ = -1;
        return;
    }
    // Polling reads a whole packet into the receive buffer, so the buffer must
    // grow with the packet even while connected (the in-queue size setter
    // itself is ignored then).
    if (size > inBufSize_) ResizeReceiveBuffer(static_cast<uint16_t>(2 * size));
    packetSize_ = size;
}

void TSerialPortDriver::SetPacketTimeout(int timeoutMs) {
    if (timeoutMs < 1)
        packetTimeout_ = -1;
    else if (timeoutMs < pollingDelay_)
        packetTimeout_ = pollingDelay_ + 150;
    else
        packetTimeout_ = timeoutMs;
}

void TSerialPortDriver::SetComPortPollingDelay(uint16_t delayMs) {
    if (delayMs == pollingDelay_) return;
    pollingDelay_ = delayMs;
    if (timer_->Running()) StartPolling();
    SetPacketTimeout(packetTimeout_);
}

void TSerialPortDriver::ResizeReceiveBuffer(uint16_t size) {
    inBufSize_ = size;
    receiveBuffer_.assign(size, 0);
}

bool TSerialPortDriver::Connected() const {
    return device_ != nullptr;
}

bool TSerialPortDriver::Connect() {
    if (Connected()) return true;
    device_ = SerialDevice::Open(SerialDevice::ComPortPath(static_cast<int>(comPort_) + 1));
    if (!device_) return false;
    ApplyComSettings();
    StartPolling();
    return true;
}

void TSerialPortDriver::Disconnect() {
    if (!Connected()) return;
    timer_->Stop();
    device_.reset();
    packetStarted_ = false;
    // Whatever waited in the input queue is gone with the descriptor.
    ++inputDiscardCount_;
}

void TSerialPortDriver::StartPolling() {
    timer_->Start(std::max<int>(pollingDelay_, ShortestPollingIntervalMs),
                  [this] { PollingTick(); });
}

void TSerialPortDriver::ApplyComSettings() {
    if (!Connected()) return;
    SerialLineSettings line;
    line.bitRate = BaudRateBits(speed_);
    line.dataBits = static_cast<int>(dataBits_) + 5;
    line.stopBits = StopBitsOf(stopBits_);
    line.parity = ParityOf(parity_);
    line.rtsCtsFlow = hwHandshaking_ == hhRTSCTS;
    line.xonXoffFlow = swHandshaking_ == shXONXOFF;
    device_->Program(line);
    device_->SetModemLines(enableDtrOnOpen_, hwHandshaking_ != hhNONE);
    xonLim_ = std::min(inBufSize_ / 4, FlowLimitCap);
    xoffLim_ = xonLim_;
    FlushBuffers(true, true);
}

void TSerialPortDriver::FlushBuffers(bool input, bool output) {
    if (!Connected()) return;
    device_->Purge(input, output);
    if (input) ++inputDiscardCount_;
    packetStarted_ = false;
}

int TSerialPortDriver::InQueueCount() {
    if (!Connected()) return NotConnectedQueueCount;
    return std::max(device_->InputQueued(), 0);
}

int16_t TSerialPortDriver::OutFreeSpace() {
    if (!Connected()) return -1;
    return static_cast<int16_t>(OutputRoom());
}

int TSerialPortDriver::OutputRoom() {
    return outBufSize_ - std::max(device_->OutputQueued(), 0);
}

unsigned TSerialPortDriver::GetLineStatus() {
    if (!Connected()) return 0;
    const unsigned lines = device_->ModemLines();
    unsigned status = 0;
    if (lines & ModemLineCTS) status |= LineCTS;
    if (lines & ModemLineDSR) status |= LineDSR;
    if (lines & ModemLineRING) status |= LineRING;
    if (lines & ModemLineRLSD) status |= LineRLSD;
    return status;
}

int TSerialPortDriver::SendData(const void* buffer, int count) {
    return SendData(buffer, count, outputTimeout_);
}

int TSerialPortDriver::SendData(const void* buffer, int count, int timeoutMs) {
    if (!Connected() || count <= 0 || buffer == nullptr) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const std::shared_ptr<SerialDevice> device = device_;
    int written = 0;
    uint32_t lastProgress = TickCountMs();
    bool roomPromised = false;
    while (written < count) {
        // Full width: the 16-bit OutFreeSpace turns negative for an output
        // queue above 32767 bytes and would stop every write.
        const int freeSpace = OutputRoom();
        int moved = 0;
        if (freeSpace > 0) {
            if (checkLineStatus_ && GetLineStatus() == 0) break;
            moved = device_->Write(bytes + written, std::min(freeSpace, count - written));
            if (moved > 0) {
                written += moved;
                lastProgress = TickCountMs();
                roomPromised = false;
                continue;
            }
        }
        const int elapsed = ElapsedSince(lastProgress);
        if (elapsed > timeoutMs) break;
        const int left = timeoutMs - elapsed + 1;
        // A device that reports room and still takes nothing (or a queue above
        // our own limit) is waited out in short sleeps instead of a busy loop.
        if (moved < 0 || freeSpace <= 0 || roomPromised) {
            SleepMs(std::min(left, WriteRetryMs));
            roomPromised = false;
        } else {
            roomPromised = device->WaitWritable(left) == SerialDevice::WaitResult::Ready;
        }
        if (device_ != device) break; // closed while waiting
    }
    return written;
}

bool TSerialPortDriver::SendByte(uint8_t b) {
    return SendData(&b, 1) == 1;
}

bool TSerialPortDriver::SendString(const char* text) {
    if (text == nullptr) return false;
    const int length = static_cast<int>(std::strlen(text));
    return SendData(text, length) == length;
}

int TSerialPortDriver::ReadAvailable(uint8_t* buffer, int count) {
    if (!Connected()) return 0;
    const int waiting = InQueueCount();
    if (waiting <= 0) return 0;
    return device_->Read(buffer, std::min(waiting, count));
}

int TSerialPortDriver::ReadData(void* buffer, int count) {
    if (!Connected() || buffer == nullptr) return 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const std::shared_ptr<SerialDevice> device = device_;
    PausePolling();
    int got = 0;
    uint32_t lastByte = TickCountMs();
    while (got < count) {
        const int moved = ReadAvailable(bytes + got, count - got);
        if (moved > 0) {
            got += moved;
            lastByte = TickCountMs();
            continue;
        }
        const int elapsed = ElapsedSince(lastByte);
        if (elapsed > inputTimeout_) break;
        const int left = inputTimeout_ - elapsed + 1;
        // A line that hung up or fails reads as silence: sit out the rest of
        // the timeout rather than spin on a descriptor that is always ready.
        if (moved < 0 || device->WaitReadable(left) == SerialDevice::WaitResult::Broken)
            SleepMs(left);
        if (device_ != device) break; // closed while waiting
    }
    ContinuePolling();
    return got;
}

void TSerialPortDriver::PollingTick() {
    if (!Connected() || holdCount_ > 0) return;
    const int waiting = InQueueCount();
    if (packetSize_ < 1) {
        const int moved = ReadAvailable(receiveBuffer_.data(), inBufSize_);
        if (moved > 0 && OnReceiveData) OnReceiveData(this, receiveBuffer_.data(), moved);
    } else if (waiting >= packetSize_) {
        DeliverPackets(waiting);
    } else {
        HandlePartialPacket(waiting);
    }
}

void TSerialPortDriver::DeliverPackets(int waiting) {
    const int size = packetSize_;
    const int rate = BaudRateBits(speed_);
    const auto packetTimeMs = static_cast<uint32_t>(std::lround(size / (rate / 10.0) * 1000.0));
    while (waiting >= size) {
        if (device_->Read(receiveBuffer_.data(), size) != size) break;
        if (OnReceivePacket) OnReceivePacket(this, receiveBuffer_.data(), size);
        // The handler may have closed the port or changed the packet size.
        if (!Connected() || packetSize_ != size) return;
        if (packetStarted_) packetStart_ += packetTimeMs;
        waiting = InQueueCount();
    }
    if (waiting == 0) packetStarted_ = false;
}

void TSerialPortDriver::HandlePartialPacket(int waiting) {
    if (packetTimeout_ > 0 && packetStarted_ && ElapsedSince(packetStart_) > packetTimeout_) {
        packetStarted_ = false;
        const int moved = ReadAvailable(receiveBuffer_.data(), inBufSize_);
        if (moved > 0 && packetMode_ == pmPass && OnReceivePacket)
            OnReceivePacket(this, receiveBuffer_.data(), moved);
    } else if (waiting > 0 && !packetStarted_) {
        packetStarted_ = true;
        packetStart_ = TickCountMs();
    }
}

} // namespace kestrel
