// A single-threaded loop: descriptors to watch and timers, nothing else. All
// of the simulator's work runs from its callbacks.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace kestrel::sim {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

class EventLoop {
  public:
    using TimerId = std::uint64_t;

    TimerId At(TimePoint when, std::function<void()> callback);
    TimerId After(std::chrono::milliseconds delay, std::function<void()> callback) {
        return At(SteadyClock::now() + delay, std::move(callback));
    }
    // Cancelling an expired or unknown timer does nothing.
    void Cancel(TimerId id);

    void Watch(int fd, std::function<void()> onReadable);

    // Runs until Stop() is called or stopFd becomes readable.
    void Run(int stopFd);
    void Stop() { stopped_ = true; }

  private:
    void RunDueTimers();

    struct Watched {
        int fd;
        std::function<void()> onReadable;
    };
    std::vector<Watched> watched_;
    std::map<std::pair<TimePoint, TimerId>, std::function<void()>> timers_;
    std::map<TimerId, TimePoint> timerTimes_;
    TimerId nextId_ = 1;
    bool stopped_ = false;
};

} // namespace kestrel::sim
