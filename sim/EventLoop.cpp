#include "sim/EventLoop.h"

#include <cerrno>
#include <poll.h>
#include <time.h>

namespace kestrel::sim {

EventLoop::TimerId EventLoop::At(TimePoint when, std::function<void()> callback) {
    const TimerId id = nextId_++;
    timers_.emplace(std::make_pair(when, id), std::move(callback));
    timerTimes_.emplace(id, when);
    return id;
}

void EventLoop::Cancel(TimerId id) {
    const auto found = timerTimes_.find(id);
    if (found == timerTimes_.end()) return;
    timers_.erase(std::make_pair(found->second, id));
    timerTimes_.erase(found);
}

void EventLoop::Watch(int fd, std::function<void()> onReadable) {
    watched_.push_back({fd, std::move(onReadable)});
}

void EventLoop::RunDueTimers() {
    // Timers added by a callback for "now" run in the next round, so a
    // callback that re-arms itself cannot starve the descriptors.
    const TimePoint now = SteadyClock::now();
    std::vector<TimerId> due;
    for (const auto& [key, callback] : timers_) {
        if (key.first > now) break;
        due.push_back(key.second);
    }
    for (const TimerId id : due) {
        const auto found = timerTimes_.find(id);
        if (found == timerTimes_.end()) continue; // cancelled by an earlier callback
        const auto key = std::make_pair(found->second, id);
        auto callback = std::move(timers_.at(key));
        timers_.erase(key);
        timerTimes_.erase(found);
        callback();
        if (stopped_) return;
    }
}

void EventLoop::Run(int stopFd) {
    while (!stopped_) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        for (const auto& w : watched_)
            fds.push_back({w.fd, POLLIN, 0});

        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (!timers_.empty()) {
            const auto wait = timers_.begin()->first.first - SteadyClock::now();
            const auto ns = std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        const int ready = ::ppoll(fds.data(), fds.size(), timeoutPtr, nullptr);
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0) {
            if (fds[0].revents) return;
            for (std::size_t i = 1; i < fds.size() && !stopped_; ++i)
                if (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) watched_[i - 1].onReadable();
        }
        RunDueTimers();
    }
}

} // namespace kestrel::sim
