// One open serial device (a terminal): exclusive, non-blocking, raw. COM port n
// (1 to 16) is the path in the environment variable KESTREL_COM<n>, else
// /dev/ttyS<n-1>.
#pragma once

#include <memory>
#include <string>

#include "platform/SerialSpeed.h"

namespace kestrel {

// Modem line bits as ModemLines reports them.
constexpr unsigned ModemLineCTS = 1u << 0;
constexpr unsigned ModemLineDSR = 1u << 1;
constexpr unsigned ModemLineRING = 1u << 2;
constexpr unsigned ModemLineRLSD = 1u << 3;

class SerialDevice {
  public:
    enum class WaitResult { Ready, TimedOut, Broken };

    static std::string ComPortPath(int number);
    // Opens the device for reading and writing, without becoming its
    // controlling terminal, and locks it against every other opener (TIOCEXCL,
    // which root passes, and an flock, which it does not). nullptr on failure.
    static std::unique_ptr<SerialDevice> Open(const std::string& path);

    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    int Fd() const { return fd_; }

    bool Program(const SerialLineSettings& settings) { return ProgramSerialLine(fd_, settings); }
    // Raises or drops DTR and RTS where the device has them (a
    // pseudo-terminal has none and refuses).
    void SetModemLines(bool dtr, bool rts);
    // ModemLine* bits of the lines that are on; 0 when the device cannot tell.
    unsigned ModemLines();

    // Bytes in the input and output queues; -1 when the device cannot tell.
    int InputQueued();
    int OutputQueued();
    void Purge(bool input, bool output);

    // Move what can be moved now: the count (0 when nothing could), or -1 on a
    // device error.
    int Read(void* buffer, int count);
    int Write(const void* buffer, int count);

    // Wait up to timeoutMs for input or for room to write, running the wait
    // hook meanwhile. Broken: the device hung up or failed.
    WaitResult WaitReadable(int timeoutMs);
    WaitResult WaitWritable(int timeoutMs);

  private:
    explicit SerialDevice(int fd) : fd_(fd) {}
    WaitResult Wait(short events, int timeoutMs);

    int fd_;
};

} // namespace kestrel
