// The serial station's line: a pseudo-terminal whose slave the program opens.
// Command mode takes AT lines; "ATO" switches to data mode with SLIP frames;
// "+++" switches back. Nothing is heard or answered unless the slave is set to
// the station's speed. With pacing on, every byte takes its line time.
#pragma once

#include "sim/EventLoop.h"
#include "sim/Link.h"
#include "sim/Log.h"
#include "sim/Slip.h"

#include <deque>
#include <string>

namespace kestrel::sim {

class Station;

class SerialLine : public Link {
  public:
    SerialLine(EventLoop& loop, Log& log, long speed, bool pacing);
    ~SerialLine() override;

    bool Open(std::string* why);
    // Publishes the slave's path as a symlink (replacing one that is there).
    bool Publish(const std::string& linkPath, std::string* why);
    void Unpublish();
    void Attach(Station* station) { station_ = station; }

    const std::string& Name() const override { return name_; }
    bool IsSerial() const override { return true; }
    bool CanSend() override;
    std::size_t SendFrame(const Bytes& frame, SendFlags flags) override;
    void SendText(const std::string& text) override;
    void EnterDataMode() override;
    void EnterCommandMode() override;
    void StationRestarted() override;

  private:
    void OnReadable();
    void TakeByte(std::uint8_t byte);
    void TakeCommandByte(std::uint8_t byte);
    void DispatchLine();
    void TakeDataByte(std::uint8_t byte);
    void ProcessDueInput();
    void Queue(const Bytes& bytes);
    void WriteDueOutput();
    void ScheduleOutput();
    SteadyClock::duration ByteTime() const;
    void Note(const std::string& event);

    EventLoop& loop_;
    Log& log_;
    long speed_;
    bool pacing_;
    std::string name_ = "serial";
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
    Station* station_ = nullptr;

    bool dataMode_ = false;
    std::string line_;
    std::string outsideFrame_; // data-mode bytes between frames, searched for "+++"
    SlipDecoder decoder_;

    struct Timed {
        TimePoint due;
        std::uint8_t byte;
    };
    std::deque<Timed> input_;
    std::deque<Timed> output_;
    TimePoint inputFreeAt_{};
    TimePoint outputFreeAt_{};
    EventLoop::TimerId inputTimer_ = 0;
    EventLoop::TimerId outputTimer_ = 0;
    EventLoop::TimerId lineEndTimer_ = 0;
    long mutedBytes_ = 0;
};

} // namespace kestrel::sim
