#include "platform/work_hooks.h"

#include <atomic>
#include <chrono>
#include <utility>

namespace mailsift {

namespace {

constexpr auto kYieldInterval = std::chrono::milliseconds(20);

WorkHooks& Hooks() {
    static WorkHooks hooks;
    return hooks;
}

std::chrono::steady_clock::time_point& LastYield() {
    static std::chrono::steady_clock::time_point last{};
    return last;
}

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set by signal handlers");

}  // namespace

const WorkHooks& CurrentWorkHooks() {
    return Hooks();
}

WorkHooks InstallWorkHooks(WorkHooks hooks) {
    LastYield() = {};
    return std::exchange(Hooks(), std::move(hooks));
}

void LetMessageLoopRun() {
    const WorkHooks& hooks = Hooks();
    if (!hooks.Yield) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - LastYield() < kYieldInterval) return;
    LastYield() = now;
    hooks.Yield();
}

void ReportCounter(const std::string& text) {
    if (Hooks().CounterChanged) Hooks().CounterChanged(text);
}

void ReportProgress(int64_t position, int64_t maximum) {
    if (Hooks().ProgressChanged) Hooks().ProgressChanged(position, maximum);
}

void ReportStatus(const std::string& text) {
    if (Hooks().StatusChanged) Hooks().StatusChanged(text);
}

bool StopRequested() {
    return stopFlag.load(std::memory_order_relaxed);
}

void RequestStop() {
    stopFlag.store(true, std::memory_order_relaxed);
}

void ClearStopRequest() {
    stopFlag.store(false, std::memory_order_relaxed);
}

}  // namespace mailsift
