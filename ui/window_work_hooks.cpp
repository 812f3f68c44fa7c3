#include "ui/window_work_hooks.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>

namespace mailsift::ui {

namespace {

// Positions of a gigabyte store do not fit the gauge's int range; tenths of a percent do.
constexpr int kGaugeSteps = 1000;

}  // namespace

WorkHooks WindowWorkHooks(const WorkFeedback& feedback) {
    // The work may outlive a window closed under it; guarded pointers turn into no-ops then.
    QPointer<QLabel> counter = feedback.counter;
    QPointer<QProgressBar> progress = feedback.progress;
    QPointer<QLabel> status = feedback.status;
    WorkHooks hooks;
    hooks.Yield = [] { QCoreApplication::processEvents(); };
    hooks.CounterChanged = [counter](const std::string& text) {
        if (counter) counter->setText(QString::fromStdString(text));
    };
    hooks.ProgressChanged = [progress](int64_t position, int64_t maximum) {
        if (!progress) return;
        if (maximum <= 0) {
            progress->hide();
            return;
        }
        progress->setRange(0, kGaugeSteps);
        const int64_t clamped = std::clamp<int64_t>(position, 0, maximum);
        progress->setValue(static_cast<int>(clamped * kGaugeSteps / maximum));
        progress->show();
    };
    hooks.StatusChanged = [status](const std::string& text) {
        if (status) status->setText(QString::fromStdString(text));
    };
    return hooks;
}

WorkHooks EventLoopHooks(std::function<void()> beforeYield) {
    WorkHooks hooks;
    hooks.Yield = [beforeYield = std::move(beforeYield)] {
        if (beforeYield) beforeYield();
        QCoreApplication::processEvents();
    };
    return hooks;
}

}  // namespace mailsift::ui
