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
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousAction);
}

StopOnInterrupt::~StopOnInterrupt() { sigaction(SIGINT, &previousAction, nullptr); }

}  // namespace mailsift
