#include "platform/work_hooks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/safe_path_component.h"

namespace mailsift {
namespace {

TEST(WorkHooks, YieldIsRateLimitedAndHooksAreRestored) {
    int yields = 0;
    std::string counter;
    {
        ScopedWorkHooks hooks({.Yield = [&] { ++yields; },
                               .CounterChanged = [&](const std::string& text) { counter = text; },
                               .ProgressChanged = nullptr,
                               .StatusChanged = nullptr});
        for (int i = 0; i < 100000; ++i) LetMessageLoopRun();
        EXPECT_GE(yields, 1);
        EXPECT_LT(yields, 100);
        const int before = yields;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        LetMessageLoopRun();
        EXPECT_EQ(yields, before + 1);
        ReportCounter("3 / 9");
        ReportProgress(3, 9);
    }
    EXPECT_EQ(counter, "3 / 9");
    const int after = yields;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    LetMessageLoopRun();
    ReportCounter("lost");
    EXPECT_EQ(yields, after);
    EXPECT_EQ(counter, "3 / 9");
}

TEST(WorkHooks, StopFlag) {
    ClearStopRequest();
    EXPECT_FALSE(StopRequested());
    RequestStop();
    EXPECT_TRUE(StopRequested());
    ClearStopRequest();
    EXPECT_FALSE(StopRequested());
}

TEST(SafePathComponent, NamesCannotLeaveTheirFolder) {
    EXPECT_EQ(SafePathComponent("Inbox"), "Inbox");
    EXPECT_EQ(SafePathComponent("../../etc/x"), ".._.._etc_x");
    EXPECT_EQ(SafePathComponent("a\\b"), "a_b");
    EXPECT_EQ(SafePathComponent(std::string_view("a\0b", 3)), "a_b");
    EXPECT_EQ(SafePathComponent("."), "_");
    EXPECT_EQ(SafePathComponent(".."), "__");
    EXPECT_EQ(SafePathComponent("..."), "...");
}

}  // namespace
}  // namespace mailsift
