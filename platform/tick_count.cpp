#include "platform/tick_count.h"

#include <chrono>

namespace mailsift {

uint32_t GetTickCount() {
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

}  // namespace mailsift
