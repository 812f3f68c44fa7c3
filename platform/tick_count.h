#pragma once
#include <cstdint>

namespace mailsift {

// Milliseconds of a monotonic clock, in 32 bits: wraps after about 49.7 days, as callers expect.
uint32_t GetTickCount();

}  // namespace mailsift
