#include "gui/Timer.h"

#include <windows.h>

#include <map>

#include "gui/Application.h"

namespace gui {

namespace {

std::map<UINT_PTR, Timer*>& Running() {
    static std::map<UINT_PTR, Timer*> timers;
    return timers;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    auto it = Running().find(id);
    if (it != Running().end()) it->second->Fire();
}

} // namespace

Timer::~Timer() {
    if (id_) {
        KillTimer(nullptr, id_);
        Running().erase(id_);
    }
}

void Timer::Create(const TimerDesc& desc) {
    interval_ = desc.interval;
    enabled_ = desc.enabled;
    created_ = true;
    Restart();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void Timer::SetInterval(unsigned ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Restart();
}

void Timer::Restart() {
    if (id_) {
        KillTimer(nullptr, id_);
        Running().erase(id_);
        id_ = 0;
    }
    if (!created_ || !enabled_ || interval_ == 0 || Application::Instance().IsHeadless()) return;
    id_ = SetTimer(nullptr, 0, interval_, TimerProc);
    if (id_) Running()[id_] = this;
}

bool Timer::Fire() {
    if (!enabled_) return false;
    if (OnTimer) Guarded(OnTimer);
    return true;
}

} // namespace gui
