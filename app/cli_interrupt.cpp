#include "app/cli_interrupt.h"

#include <signal.h>

#include "platform/work_hooks.h"

namespace mailsift {

namespace {

struct sigaction previousAction;

void OnInterrupt(int signalNumber) {
    if (StopRequested()) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }
    RequestStop();
}

}  // namespace

StopOnInterrupt::StopOnInterrupt() {
    ClearStopRequest();
    sigaction(SIGINT, nullptr, &previousAction);
    // A program started to ignore Ctrl+C (in the background, under nohup) keeps ignoring it.
    if (previousAction.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // Output blocked on a full pipe goes on after the signal rather than failing.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

StopOnInterrupt::~StopOnInterrupt() {
    sigaction(SIGINT, &previousAction, nullptr);
}

}  // namespace mailsift
