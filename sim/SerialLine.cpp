#include "sim/SerialLine.h"

#include "sim/LineSpeed.h"
#include "sim/Station.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrel::sim {

namespace {
constexpr std::uint8_t SlipEnd = 0xC0;
// Output the program does not read is dropped beyond this, as a line would.
constexpr std::size_t OutputLimit = 64 * 1024;
const Mac SerialPeer = BroadcastMac; // replies on the line need no address
} // namespace

SerialLine::SerialLine(EventLoop& loop, Log& log, long speed, bool pacing)
    : loop_(loop), log_(log), speed_(speed), pacing_(pacing) {}

SerialLine::~SerialLine() {
    Unpublish();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool SerialLine::Open(std::string* why) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *why = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char path[256];
    if (::ptsname_r(master_, path, sizeof path) != 0) {
        *why = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = path;
    // Holding the slave open keeps the master readable while the program has
    // it closed, and keeps its settings between the program's runs.
    slave_ = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) {
        *why = "cannot open " + slavePath_ + ": " + std::strerror(errno);
        return false;
    }
    // No echo and no line editing, or the line discipline would answer for us.
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    loop_.Watch(master_, [this] { OnReadable(); });
    return true;
}

bool SerialLine::Publish(const std::string& linkPath, std::string* why) {
    const std::string temporary = linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(slavePath_.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        *why = "cannot publish " + linkPath + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void SerialLine::Unpublish() {
    if (linkPath_.empty()) return;
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && slavePath_ == std::string(target, static_cast<std::size_t>(n)))
        ::unlink(linkPath_.c_str());
    linkPath_.clear();
}

void SerialLine::Note(const std::string& event) {
    log_.Line(station_ ? station_->Name() : "-", name_, "--", event);
}

SteadyClock::duration SerialLine::ByteTime() const {
    // Ten bit times a byte: start bit, eight data bits, stop bit.
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(10.0 / static_cast<double>(speed_)));
}

bool SerialLine::CanSend() {
    return SlaveLineSpeed(master_) == speed_;
}

// -------------------------------------------------------------------- input

void SerialLine::OnReadable() {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        const long lineSpeed = SlaveLineSpeed(master_);
        if (lineSpeed != speed_) {
            // At a foreign speed the bytes arrive as noise: nothing is heard.
            Note("unheard bytes=" + std::to_string(n) + " line-speed=" + std::to_string(lineSpeed) +
                 " station-speed=" + std::to_string(speed_));
            continue;
        }
        if (!pacing_) {
            for (ssize_t i = 0; i < n; ++i)
                TakeByte(buffer[i]);
            continue;
        }
        TimePoint due = std::max(SteadyClock::now(), inputFreeAt_);
        for (ssize_t i = 0; i < n; ++i) {
            due += ByteTime();
            input_.push_back({due, buffer[i]});
        }
        inputFreeAt_ = due;
        if (inputTimer_ == 0)
            inputTimer_ = loop_.At(input_.front().due, [this] {
                inputTimer_ = 0;
                ProcessDueInput();
            });
    }
}

void SerialLine::ProcessDueInput() {
    const TimePoint now = SteadyClock::now();
    while (!input_.empty() && input_.front().due <= now) {
        const std::uint8_t byte = input_.front().byte;
        input_.pop_front();
        TakeByte(byte);
    }
    if (!input_.empty() && inputTimer_ == 0)
        inputTimer_ = loop_.At(input_.front().due, [this] {
            inputTimer_ = 0;
            ProcessDueInput();
        });
}

void SerialLine::TakeByte(std::uint8_t byte) {
    if (!station_) return;
    if (dataMode_)
        TakeDataByte(byte);
    else
        TakeCommandByte(byte);
}

void SerialLine::DispatchLine() {
    loop_.Cancel(lineEndTimer_);
    lineEndTimer_ = 0;
    std::string line;
    line.swap(line_);
    station_->OnCommandLine(*this, line, SerialPeer);
}

void SerialLine::TakeCommandByte(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    if (!line_.empty() && line_.back() == '\r') {
        if (c == '\n') {
            line_.push_back(c);
            DispatchLine();
            return;
        }
        DispatchLine(); // a carriage return alone ended the line
        if (dataMode_) {
            TakeDataByte(byte);
            return;
        }
    }
    if (c == '\r' || c == '\n') {
        if (line_.empty()) return; // empty line, or the feed of a CR LF already taken
        line_.push_back(c);
        if (c == '\n') {
            DispatchLine();
            return;
        }
        // Wait briefly for the line feed that usually follows, so that the
        // line is taken (and logged) whole.
        const auto wait =
            std::max<SteadyClock::duration>(std::chrono::milliseconds(20), 3 * ByteTime());
        lineEndTimer_ = loop_.At(SteadyClock::now() + wait, [this] {
            lineEndTimer_ = 0;
            if (!line_.empty() && line_.back() == '\r') DispatchLine();
        });
        return;
    }
    line_.push_back(c);
    if (line_ == "+++") {
        // The escape needs no line end.
        line_.clear();
        station_->OnCommandLine(*this, "+++", SerialPeer);
    } else if (line_.size() > 512) {
        Note("dropped overlong line");
        line_.clear();
    }
}

void SerialLine::TakeDataByte(std::uint8_t byte) {
    if (byte == SlipEnd || decoder_.InFrame()) {
        if (byte == SlipEnd && !decoder_.InFrame() && !outsideFrame_.empty()) {
            Note("ignored in data mode " + Quote(outsideFrame_));
            outsideFrame_.clear();
        }
        Bytes frame;
        if (decoder_.Feed(byte, &frame)) station_->OnFrame(*this, frame);
        return;
    }
    outsideFrame_.push_back(static_cast<char>(byte));
    const std::size_t at = outsideFrame_.find("+++");
    if (at != std::string::npos) {
        if (at > 0) Note("ignored in data mode " + Quote(outsideFrame_.substr(0, at)));
        outsideFrame_.clear();
        station_->OnCommandLine(*this, "+++", SerialPeer);
    } else if (outsideFrame_.size() > 256) {
        Note("ignored in data mode " + Quote(outsideFrame_));
        outsideFrame_.clear();
    }
}

void SerialLine::EnterDataMode() {
    dataMode_ = true;
    decoder_.Reset();
    outsideFrame_.clear();
}

void SerialLine::EnterCommandMode() {
    dataMode_ = false;
    decoder_.Reset();
    outsideFrame_.clear();
    line_.clear();
    loop_.Cancel(lineEndTimer_);
    lineEndTimer_ = 0;
}

void SerialLine::StationRestarted() {
    EnterCommandMode();
    input_.clear();
    loop_.Cancel(inputTimer_);
    inputTimer_ = 0;
}

// ------------------------------------------------------------------- output

std::size_t SerialLine::SendFrame(const Bytes& frame, SendFlags flags) {
    Queue(SlipEncode(frame, flags.closingEnd));
    return frame.size();
}

void SerialLine::SendText(const std::string& text) {
    Queue(Bytes(text.begin(), text.end()));
}

void SerialLine::Queue(const Bytes& bytes) {
    const TimePoint now = SteadyClock::now();
    if (!pacing_) {
        for (const std::uint8_t b : bytes)
            output_.push_back({now, b});
    } else {
        TimePoint due = std::max(now, outputFreeAt_);
        for (const std::uint8_t b : bytes) {
            due += ByteTime();
            output_.push_back({due, b});
        }
        outputFreeAt_ = due;
    }
    WriteDueOutput();
}

void SerialLine::WriteDueOutput() {
    const TimePoint now = SteadyClock::now();
    Bytes chunk;
    while (!output_.empty() && output_.front().due <= now) {
        chunk.push_back(output_.front().byte);
        output_.pop_front();
    }
    std::size_t written = 0;
    while (written < chunk.size()) {
        const ssize_t n = ::write(master_, chunk.data() + written, chunk.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // What the program has not made room for waits, up to a limit.
    for (std::size_t i = chunk.size(); i > written; --i)
        output_.push_front({now, chunk[i - 1]});
    if (output_.size() > OutputLimit) {
        Note("dropped unread output bytes=" + std::to_string(output_.size()));
        output_.clear();
    }
    ScheduleOutput();
}

void SerialLine::ScheduleOutput() {
    if (output_.empty() || outputTimer_ != 0) return;
    // Bytes already due are ones the program had no room for: try again soon.
    const TimePoint now = SteadyClock::now();
    const TimePoint due = output_.front().due;
    const TimePoint when = due > now ? due : now + std::chrono::milliseconds(5);
    outputTimer_ = loop_.At(when, [this] {
        outputTimer_ = 0;
        WriteDueOutput();
    });
}

} // namespace kestrel::sim
