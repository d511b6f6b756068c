#include "platform/SerialDevice.h"

#include "platform/Wait.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrel {

namespace {

int IoctlRetrying(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result != 0 && errno == EINTR);
    return result;
}

int QueueCount(int fd, unsigned long request) {
    int count = 0;
    if (IoctlRetrying(fd, request, &count) != 0) return -1;
    return count;
}

} // namespace

std::string SerialDevice::ComPortPath(int number) {
    const std::string variable = "KESTREL_COM" + std::to_string(number);
    if (const char* path = std::getenv(variable.c_str())) return path;
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        IoctlRetrying(fd, TIOCEXCL, nullptr) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SerialDevice>(new SerialDevice(fd));
}

SerialDevice::~SerialDevice() {
    // The exclusive flag outlives the descriptor on some terminals (a
    // pseudo-terminal's slave while its master stays open): clear it so that
    // the port can be opened again.
    IoctlRetrying(fd_, TIOCNXCL, nullptr);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

void SerialDevice::SetModemLines(bool dtr, bool rts) {
    int raise = 0;
    int drop = 0;
    (dtr ? raise : drop) |= TIOCM_DTR;
    (rts ? raise : drop) |= TIOCM_RTS;
    if (raise) IoctlRetrying(fd_, TIOCMBIS, &raise);
    if (drop) IoctlRetrying(fd_, TIOCMBIC, &drop);
}

unsigned SerialDevice::ModemLines() {
    int lines = 0;
    if (IoctlRetrying(fd_, TIOCMGET, &lines) != 0) return 0;
    unsigned result = 0;
    if (lines & TIOCM_CTS) result |= ModemLineCTS;
    if (lines & TIOCM_DSR) result |= ModemLineDSR;
    if (lines & TIOCM_RNG) result |= ModemLineRING;
    if (lines & TIOCM_CAR) result |= ModemLineRLSD;
    return result;
}

int SerialDevice::InputQueued() {
    return QueueCount(fd_, FIONREAD);
}

int SerialDevice::OutputQueued() {
    return QueueCount(fd_, TIOCOUTQ);
}

void SerialDevice::Purge(bool input, bool output) {
    if (input && output)
        ::tcflush(fd_, TCIOFLUSH);
    else if (input)
        ::tcflush(fd_, TCIFLUSH);
    else if (output)
        ::tcflush(fd_, TCOFLUSH);
}

int SerialDevice::Read(void* buffer, int count) {
    if (count <= 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int SerialDevice::Write(const void* buffer, int count) {
    if (count <= 0) return 0;
    for (;;) {
        const ssize_t n = ::write(fd_, buffer, static_cast<size_t>(count));
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

SerialDevice::WaitResult SerialDevice::WaitReadable(int timeoutMs) {
    return Wait(POLLIN, timeoutMs);
}

SerialDevice::WaitResult SerialDevice::WaitWritable(int timeoutMs) {
    return Wait(POLLOUT, timeoutMs);
}

SerialDevice::WaitResult SerialDevice::Wait(short events, int timeoutMs) {
    pollfd entry{fd_, events, 0};
    const int ready = PollWithHook(&entry, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready == 0) return WaitResult::TimedOut;
    if (ready < 0 || (entry.revents & events) == 0) return WaitResult::Broken;
    return WaitResult::Ready;
}

} // namespace kestrel
