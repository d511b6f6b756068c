// Waiting without spinning. Every wait of the link layer goes through these
// functions so that the front end can keep its windows alive while an exchange
// blocks the thread: the registered wait hook runs a few times a second.
#pragma once

#include <cstdint>
#include <functional>

struct pollfd;

namespace kestrel {

// Milliseconds on a monotonic clock (the link layer's tick count).
uint32_t TickCountMs();

// Installs the hook that every wait calls; an empty function removes it.
void SetWaitHook(std::function<void()> hook);
// Runs the hook once (nothing when none is installed or it is already running).
void RunWaitHook();

// The longest stretch a wait sleeps before it runs the hook again.
constexpr int WaitHookSliceMs = 50;

// Sleeps for ms milliseconds, running the hook between slices.
void SleepMs(int ms);

// poll() for up to timeoutMs (negative: no limit), in slices with the hook run
// between them. Returns poll's result: > 0 ready, 0 timed out, < 0 error.
int PollWithHook(pollfd* fds, unsigned count, int timeoutMs);

} // namespace kestrel
