#include "platform/Wait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>
#include <utility>

namespace kestrel {

namespace {
std::function<void()> waitHook;
bool hookRunning = false;
} // namespace

uint32_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetWaitHook(std::function<void()> hook) {
    waitHook = std::move(hook);
}

void RunWaitHook() {
    // A hook that itself waits must not recurse into itself.
    if (!waitHook || hookRunning) return;
    hookRunning = true;
    waitHook();
    hookRunning = false;
}

void SleepMs(int ms) {
    const uint32_t start = TickCountMs();
    for (;;) {
        const int elapsed = static_cast<int>(TickCountMs() - start);
        if (elapsed >= ms) return;
        const int slice = std::min(ms - elapsed, WaitHookSliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        RunWaitHook();
    }
}

int PollWithHook(pollfd* fds, unsigned count, int timeoutMs) {
    const uint32_t start = TickCountMs();
    for (;;) {
        int slice = WaitHookSliceMs;
        if (timeoutMs >= 0) {
            const int left = timeoutMs - static_cast<int>(TickCountMs() - start);
            if (left <= 0) return ::poll(fds, count, 0);
            slice = std::min(left, WaitHookSliceMs);
        }
        const int ready = ::poll(fds, count, slice);
        if (ready != 0) {
            if (ready < 0 && errno == EINTR) continue;
            return ready;
        }
        RunWaitHook();
    }
}

} // namespace kestrel
