// Reads the slave's settings with TCGETS2 on the master: for a pseudo-terminal
// the master's mode requests act on the slave. termios2 needs <asm/termbits.h>,
// which cannot meet <termios.h>, so this unit uses neither <termios.h> nor
// openpty.
#include "tests/support/PtyPeer.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kestrel::test {

namespace {

int DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

int PollOne(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

} // namespace

PtyPeer::PtyPeer() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(master);
        return;
    }
    // Holding the slave open keeps the master readable while the program
    // closes and reopens the port.
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveHold_ < 0) {
        ::close(master);
        return;
    }
    slavePath_ = name;
    master_ = master;
}

PtyPeer::~PtyPeer() {
    StopScript();
    // Latest first, so that a variable set twice ends as it was before both.
    for (auto it = savedVariables_.rbegin(); it != savedVariables_.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
    for (int fd : {master_, slaveHold_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void PtyPeer::SetAsComPort(int number) {
    const std::string variable = "KESTREL_COM" + std::to_string(number);
    const char* previous = ::getenv(variable.c_str());
    savedVariables_.emplace_back(variable,
                                 previous ? std::optional<std::string>(previous) : std::nullopt);
    ::setenv(variable.c_str(), slavePath_.c_str(), 1);
}

PtyLine PtyPeer::Line() const {
    termios2 tio{};
    PtyLine line;
    if (::ioctl(master_, TCGETS2, &tio) != 0) return line;
    line.inputSpeed = static_cast<int>(tio.c_ispeed);
    line.outputSpeed = static_cast<int>(tio.c_ospeed);
    line.dataBits = DataBitsOf(tio.c_cflag);
    line.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    line.parity = (tio.c_cflag & PARENB) != 0;
    line.oddParity = (tio.c_cflag & PARODD) != 0;
    line.stickParity = (tio.c_cflag & CMSPAR) != 0;
    line.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    line.xon = (tio.c_iflag & IXON) != 0;
    line.xoff = (tio.c_iflag & IXOFF) != 0;
    line.raw = (tio.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (tio.c_oflag & OPOST) == 0 &&
               (tio.c_iflag & ICRNL) == 0;
    line.receiver = (tio.c_cflag & CREAD) != 0;
    return line;
}

bool PtyPeer::Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (PollOne(master_, POLLOUT, 1000) <= 0) {
            return false;
        }
    }
    return true;
}

std::string PtyPeer::Read(size_t max, int timeoutMs) {
    std::string bytes(max, '\0');
    if (max == 0 || PollOne(master_, POLLIN, timeoutMs) <= 0) return {};
    const ssize_t n = ::read(master_, bytes.data(), max);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

std::string PtyPeer::ReadFor(int quietMs) {
    std::string all;
    for (;;) {
        const std::string chunk = Read(4096, quietMs);
        if (chunk.empty()) return all;
        all += chunk;
    }
}

void PtyPeer::Answer(const std::string& when, const std::string& reply, int atSpeed) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rules_.push_back({when, reply, atSpeed});
    }
    if (!script_.joinable() && Ok()) script_ = std::thread([this] { RunScript(); });
}

std::string PtyPeer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void PtyPeer::StopScript() {
    if (!script_.joinable()) return;
    const char stop = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &stop, 1);
    script_.join();
}

void PtyPeer::RunScript() {
    char buffer[4096];
    for (;;) {
        pollfd entries[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[1].revents) return;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            // Nobody holds the slave: wait for the stop request.
            PollOne(wake_[0], POLLIN, -1);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buffer, static_cast<size_t>(n));
        ApplyRules();
    }
}

void PtyPeer::ApplyRules() {
    for (;;) {
        // The trigger that arrived first wins; among equal ones, the rule added first.
        const Rule* next = nullptr;
        size_t nextAt = std::string::npos;
        for (const Rule& rule : rules_) {
            const size_t at = received_.find(rule.when, searchFrom_);
            if (at < nextAt) {
                next = &rule;
                nextAt = at;
            }
        }
        if (next == nullptr) return;
        searchFrom_ = nextAt + next->when.size();
        if (next->atSpeed == 0 || Line().outputSpeed == next->atSpeed) Write(next->reply);
    }
}

} // namespace kestrel::test
