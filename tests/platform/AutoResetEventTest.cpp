#include "platform/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::AutoResetEvent;
using platform::WaitResult;

TEST(AutoResetEvent, LetsOneWaiterThroughPerSignal) {
    AutoResetEvent event(true);
    EXPECT_EQ(WaitResult::Signaled, event.Wait(0));
    EXPECT_EQ(WaitResult::TimedOut, event.Wait(20)) << "reset itself";
    event.Set();
    event.Set();
    EXPECT_EQ(WaitResult::Signaled, event.Wait(0));
    EXPECT_EQ(WaitResult::TimedOut, event.Wait(0)) << "two sets do not make two passes";
    AutoResetEvent closed(false);
    EXPECT_EQ(WaitResult::TimedOut, closed.Wait(0));
}

TEST(AutoResetEventConcurrency, SetWakesExactlyOneWaiter) {
    AutoResetEvent event(false);
    std::atomic<int> passed{0};
    std::thread a([&] { passed += event.Wait(2000) == WaitResult::Signaled; });
    std::thread b([&] { passed += event.Wait(2000) == WaitResult::Signaled; });
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(1, passed.load());
}
