#pragma once
// A timer that ticks every Interval() milliseconds while enabled and runs OnTimer (guarded)
// at each tick. Headless: a test fires it.

#include <cstdint>
#include <functional>

namespace gui {

struct TimerDesc {
    unsigned interval = 1000;
    bool enabled = true;
};

class Timer {
public:
    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    void Create(const TimerDesc& desc);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);

    std::function<void()> OnTimer;
    // One tick: runs OnTimer when the timer is enabled; tells whether it ran.
    bool Fire();

private:
    void Restart();

    unsigned interval_ = 1000;
    bool enabled_ = false;
    bool created_ = false;
    std::uintptr_t id_ = 0;
};

} // namespace gui
