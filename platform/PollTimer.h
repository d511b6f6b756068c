// A repeating timer that drives a component's polling. The front end installs
// a factory that makes timers on its event loop; without one, timers are manual
// and fire only when someone calls Tick (tests, programs without an event loop).
#pragma once

#include <functional>
#include <memory>

namespace kestrel {

class PollTimer {
  public:
    virtual ~PollTimer() = default;
    // (Re)starts the timer: callback runs every intervalMs until Stop.
    virtual void Start(int intervalMs, std::function<void()> callback) = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;
};

using PollTimerFactory = std::function<std::unique_ptr<PollTimer>()>;

// An empty factory restores manual timers. Affects timers created afterwards.
void SetPollTimerFactory(PollTimerFactory factory);
std::unique_ptr<PollTimer> CreatePollTimer();

class ManualPollTimer : public PollTimer {
  public:
    void Start(int intervalMs, std::function<void()> callback) override;
    void Stop() override;
    bool Running() const override { return running_; }
    int IntervalMs() const { return intervalMs_; }
    // Fires once when running; returns whether it fired.
    bool Tick();

  private:
    std::function<void()> callback_;
    int intervalMs_ = 0;
    bool running_ = false;
};

} // namespace kestrel
