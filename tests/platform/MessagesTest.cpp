#include "platform/Messages.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"

#include <atomic>
#include <climits>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

TEST(Messages, HandOverRunsOnTheThreadThatProcessesMessages) {
    const auto ui = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        platform::Synchronize([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    while (!returned) {
        platform::WaitForMessage(100);
        platform::ProcessMessages();
    }
    worker.join();
    EXPECT_EQ(ranOn, ui);
}

TEST(Messages, SynchronizeOnTheUserInterfaceThreadRunsAtOnce) {
    bool ran = false;
    platform::Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(Messages, FailureOfAHandOverReachesTheWaitingThread) {
    std::atomic<bool> caught{false}, returned{false};
    std::thread worker([&] {
        try {
            platform::Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        returned = true;
    });
    while (!returned) {
        platform::WaitForMessage(100);
        platform::ProcessMessages();
    }
    worker.join();
    EXPECT_TRUE(caught);
}

TEST(Messages, InstalledHookReplacesTheDefault) {
    int calls = 0;
    platform::SetMessageHook([&] { ++calls; });
    platform::ProcessMessages();
    platform::SetMessageHook(nullptr);
    platform::ProcessMessages();
    EXPECT_EQ(calls, 1);
}

TEST(Messages, InterruptWakesWaitsAndCutsSleepShort) {
    platform::RequestInterrupt();
    EXPECT_TRUE(platform::WaitForMessage(5000));
    const uint32_t start = platform::TickCount();
    platform::SleepMs(5000);
    EXPECT_LT(platform::TicksSince(start), 1000u);
    platform::ClearInterrupt();
    EXPECT_FALSE(platform::InterruptRequested());
    EXPECT_FALSE(platform::WaitForMessage(1));
}

TEST(Messages, PendingHandOversAreToldWithoutRunningThemAndTheDescriptorFollows) {
    EXPECT_FALSE(platform::HandOversPending());
    std::thread worker([] { platform::Synchronize([] {}); });
    ASSERT_TRUE(platform::WaitForMessage(10000));
    EXPECT_TRUE(platform::HandOversPending());
    EXPECT_EQ(platform::RunHandOvers(), 1);
    worker.join();
    EXPECT_FALSE(platform::HandOversPending());
    // The descriptor is readable exactly while something is queued, so a notifier never spins.
    pollfd fd{platform::HandOverDescriptor(), POLLIN, 0};
    EXPECT_EQ(poll(&fd, 1, 0), 0);
}

TEST(Messages, TheWaitHookReplacesTheWaitOnlyWhenNothingIsPending) {
    std::vector<int> waits;
    platform::SetWaitHook([&](int timeoutMs) { waits.push_back(timeoutMs); });
    EXPECT_FALSE(platform::WaitForMessage(-1));
    platform::RequestInterrupt();
    EXPECT_TRUE(platform::WaitForMessage(7));
    platform::ClearInterrupt();
    platform::SetWaitHook(nullptr);
    EXPECT_FALSE(platform::WaitForMessage(1));
    EXPECT_EQ(waits, (std::vector<int>{-1}));
}

TEST(Messages, SleepEndsEarlyWhenCancelledByWhatAMessageDid) {
    bool stop = false;
    std::thread worker([] { platform::Synchronize([] {}); });
    platform::SetMessageHook([&] {
        platform::RunHandOvers();
        stop = true;
    });
    const uint32_t start = platform::TickCount();
    platform::SleepMs(60000, [&] { return stop; });
    platform::SetMessageHook(nullptr);
    worker.join();
    EXPECT_LT(platform::TicksSince(start), 30000u);
}

// A thread that serves its own queue gets what is handed to it, and the user-interface thread
// neither sees it nor is woken by it.
TEST(Messages, EachThreadServesItsOwnQueue) {
    platform::HandOverTarget workersQueue;
    std::thread::id ranOn, workerId;
    std::atomic<bool> ready{false}, served{false};
    std::thread worker([&] {
        workersQueue = platform::ThisThreadsQueue();
        workerId = std::this_thread::get_id();
        ready = true;
        while (!served) {
            platform::WaitForMessage(100);
            platform::ProcessMessages();
        }
    });
    while (!ready)
        std::this_thread::yield();
    std::thread sender([&] {
        platform::Synchronize(workersQueue, [&] { ranOn = std::this_thread::get_id(); });
        served = true;
    });
    EXPECT_FALSE(platform::WaitForMessage(200));
    sender.join();
    worker.join();
    EXPECT_EQ(ranOn, workerId);
    EXPECT_FALSE(platform::HandOversPending());
}

// Posted work runs later on the target's thread; the poster neither waits nor needs to outlive it.
TEST(Messages, PostedWorkRunsOnTheOwnersThreadWithoutAWaitingPoster) {
    const platform::HandOverTarget owner = platform::ThisThreadsQueue();
    std::thread::id ranOn;
    std::thread([&] { platform::Post(owner, [&] { ranOn = std::this_thread::get_id(); }); }).join();
    EXPECT_TRUE(platform::WaitForMessage(10000));
    EXPECT_EQ(platform::RunHandOvers(), 1);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(platform::HandOversPending());
}

TEST(Messages, WaitTimeoutsAreCappedToWhatPollTakes) {
    EXPECT_EQ(platform::WaitTimeoutMs(0), 0);
    EXPECT_EQ(platform::WaitTimeoutMs(1500), 1500);
    EXPECT_EQ(platform::WaitTimeoutMs(0xFFFFFFFFu), INT_MAX);
}

TEST(Clock, TickDifferencesWrapModulo32Bits) {
    const uint32_t before = 0xFFFFFFF0u;
    const uint32_t after = 0x00000010u;
    EXPECT_EQ(uint32_t(after - before), 0x20u);
}

TEST(Dialogs, DefaultButtonFollowsTheStyleFlags) {
    struct Case {
        uint32_t flags;
        int32_t expected;
    } cases[] = {
        {0, platform::IDOK},     {1, platform::IDOK},         {0x101, platform::IDCANCEL},
        {3, platform::IDYES},    {0x203, platform::IDCANCEL}, {0x104, platform::IDNO},
        {0x300, platform::IDOK}, {6, platform::IDCANCEL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::MessageBoxDefaultButton(c.flags), c.expected) << c.flags;
}

} // namespace
