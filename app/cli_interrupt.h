#pragma once

namespace mailsift {

// While it lives, Ctrl+C asks long work to stop after the current item (the work then finishes
// what it owes: packing, history); a second Ctrl+C ends the program at once.
class StopOnInterrupt {
  public:
    StopOnInterrupt();
    ~StopOnInterrupt();
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;
};

}  // namespace mailsift
