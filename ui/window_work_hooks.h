#pragma once
// The hooks through which long work started from a window keeps that window alive: pending
// events run between items, so that Stop reaches the work, and the counter, the progress gauge
// and the status line follow it.
#include <functional>

#include "platform/work_hooks.h"

class QLabel;
class QProgressBar;

namespace mailsift::ui {

struct WorkFeedback {
    QLabel* counter = nullptr;
    QProgressBar* progress = nullptr;  // hidden while the work reports no maximum
    QLabel* status = nullptr;
};

WorkHooks WindowWorkHooks(const WorkFeedback& feedback);

// Hooks that only let pending events run, each time after beforeYield (when given), for work
// that shows its own progress.
WorkHooks EventLoopHooks(std::function<void()> beforeYield = {});

}  // namespace mailsift::ui
