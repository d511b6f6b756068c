#include "platform/PollTimer.h"

#include <utility>

namespace kestrel {

namespace {
PollTimerFactory timerFactory;
} // namespace

void SetPollTimerFactory(PollTimerFactory factory) {
    timerFactory = std::move(factory);
}

std::unique_ptr<PollTimer> CreatePollTimer() {
    if (timerFactory) {
        if (auto timer = timerFactory()) return timer;
    }
    return std::make_unique<ManualPollTimer>();
}

void ManualPollTimer::Start(int intervalMs, std::function<void()> callback) {
    callback_ = std::move(callback);
    intervalMs_ = intervalMs;
    running_ = true;
}

void ManualPollTimer::Stop() {
    running_ = false;
}

bool ManualPollTimer::Tick() {
    if (!running_ || !callback_) return false;
    // The callback may stop or restart this timer; run a copy.
    auto callback = callback_;
    callback();
    return true;
}

} // namespace kestrel
