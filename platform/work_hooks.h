#pragma once
// How long work in the core stays in touch with whoever started it, without the core knowing
// any user interface: the windows install hooks that run pending events and show counters,
// the command line installs hooks that watch for Ctrl+C and print progress.
#include <cstdint>
#include <functional>
#include <string>

namespace mailsift {

struct WorkHooks {
    // Lets pending user events run; called at most about every 20 ms by LetMessageLoopRun.
    std::function<void()> Yield;
    // The running counter text ("12 / 340"), progress (position of maximum; a maximum of 0
    // hides the bar) and status line.
    std::function<void(const std::string& text)> CounterChanged;
    std::function<void(int64_t position, int64_t maximum)> ProgressChanged;
    std::function<void(const std::string& text)> StatusChanged;
};

// The hooks in force; empty hooks do nothing.
const WorkHooks& CurrentWorkHooks();
// Replaces the hooks and returns the ones that were in force.
WorkHooks InstallWorkHooks(WorkHooks hooks);

// Runs the Yield hook when about 20 ms have passed since it last ran, so that loops may call
// this per line or per byte without a billion event-loop calls.
void LetMessageLoopRun();

void ReportCounter(const std::string& text);
void ReportProgress(int64_t position, int64_t maximum);
void ReportStatus(const std::string& text);

// The program-wide stop flag. RequestStop is safe to call from a signal handler.
bool StopRequested();
void RequestStop();
void ClearStopRequest();

// Installs hooks for a scope and puts the previous ones back at its end.
class ScopedWorkHooks {
  public:
    explicit ScopedWorkHooks(WorkHooks hooks) : previous_(InstallWorkHooks(std::move(hooks))) {}
    ~ScopedWorkHooks() { InstallWorkHooks(std::move(previous_)); }
    ScopedWorkHooks(const ScopedWorkHooks&) = delete;
    ScopedWorkHooks& operator=(const ScopedWorkHooks&) = delete;

  private:
    WorkHooks previous_;
};

}  // namespace mailsift
