// A reply that has arrived wakes the waiting macro at once, whatever the interleaving of the
// event thread, the hand-over and the wait: no exchange may wait for the event thread's next look
// at the line. Each runs with a second thread loading the other processor, which makes the races
// more likely; what the load itself costs is not counted (see WakeUpClock).
#include "PseudoTerminal.h"
#include "Stalls.h"
#include "TimedExchanges.h"
#include "platform/Messages.h"
#include "portwell/MacroHost.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <termios.h>
#include <unistd.h>

using namespace portwell;
using namespace testsupport;

namespace {

constexpr double StallLimitUs = 5000;

struct WaitPath {
    const char* label;
    const char* name;
    bool loopback;
    int count;
    std::string takeReply;
};

void PrintTo(const WaitPath& path, std::ostream* out) {
    *out << path.name;
}

class RepliesWakeTheWait : public testing::TestWithParam<WaitPath> {};

// One run of `path`: what went wrong, or "".
std::string Attempt(const WaitPath& path) {
    CoreLoader loader;
    PseudoTerminal device;
    TPortSettings settings;
    settings.DeviceName = path.loopback ? "loop://" : device.Path();
    // loop:// echoes the request; the pseudo-terminal's player answers it.
    std::unique_ptr<EchoDevice> echo;
    if (!path.loopback) echo = std::make_unique<EchoDevice>(device, 4, B("ACK\r"), path.count);
    TMacroHost host;
    const ExchangeTimes times =
        TimeExchanges(host, settings, ExchangeMacro(path.count, path.takeReply), '\r',
                      {loader.ThreadId()}, path.loopback ? -1 : device.Line());
    if (!times.error.empty()) return times.error;
    if (int(times.asleepUs.size()) != path.count)
        return std::to_string(times.asleepUs.size()) + " exchanges";
    return times.Above(StallLimitUs);
}

TEST_P(RepliesWakeTheWait, WithinTheLimit) {
    EXPECT_EQ(CleanInOneOfThree([] { return Attempt(GetParam()); }), "");
}

const std::string WaitForAck = "if ComWait('ACK'#13, 2000) = 0 then Print('lost');";
const std::string WaitForEcho = "if ComWait('REQ'#13, 2000) = 0 then Print('lost');";
const std::string PollForAck = "s := ''; while Pos(#13, s) = 0 do s := s + ComRead;";

INSTANTIATE_TEST_SUITE_P(
    Exchanges, RepliesWakeTheWait,
    testing::Values(WaitPath{"ComWait", "ComWait on a pseudo-terminal", false, 20000, WaitForAck},
                    WaitPath{"Loopback", "ComWait on loop://", true, 20000, WaitForEcho},
                    WaitPath{"ComReadPolling", "ComRead polled in a loop", false, 1000,
                             PollForAck}),
    [](const testing::TestParamInfo<WaitPath>& info) { return info.param.label; });

// The recording loop: each byte the device sends must be taken in at once. The player sends the
// next byte only once the recording has logged the one before.
std::string RecordingAttempt() {
    constexpr int chunks = 5000;
    CoreLoader loader;
    PseudoTerminal device;
    TPortSettings settings;
    settings.DeviceName = device.Path();
    TMacroHost host;
    std::mutex mutex;
    std::condition_variable logged;
    int lines = 0;
    WakeUpClock clock(device.Line());
    bool watching = false;
    std::string slow;
    host.Log.OnLine = [&](const std::string&) {
        std::lock_guard lock(mutex);
        if (watching) {
            const double asleepUs = clock.AsleepSinceArrivalUs();
            if (asleepUs > StallLimitUs)
                slow += " #" + std::to_string(lines) + ": " + std::to_string(int(asleepUs)) + " us";
        }
        ++lines;
        logged.notify_one();
    };
    std::thread player([&] {
        // The recording's threads exist once its first chunk has been logged.
        device.Send(B("S"));
        std::unique_lock lock(mutex);
        if (!logged.wait_for(lock, std::chrono::seconds(30), [&] { return lines == 1; })) return;
        clock.WatchThreads({loader.ThreadId()});
        watching = true;
        for (int i = 1; i <= chunks; ++i) {
            clock.Start();
            lock.unlock();
            device.Send(B("x"));
            lock.lock();
            if (!logged.wait_for(lock, std::chrono::seconds(30), [&] { return lines > i; })) break;
        }
        lock.unlock();
        platform::Synchronize([&] { host.Stop(); });
    });
    ksl::TStrings recorded;
    const TActivityEnd end = host.Record(settings, recorded);
    player.join();
    if (end != TActivityEnd::Finished) return "the recording failed";
    if (lines != chunks + 1) return std::to_string(lines) + " chunks logged";
    return slow;
}

TEST(RecordingWakeUps, EveryChunkIsTakenInAtOnce) {
    EXPECT_EQ(CleanInOneOfThree(RecordingAttempt), "");
}

void MakeRaw(int terminal) {
    termios settings{};
    tcgetattr(terminal, &settings);
    cfmakeraw(&settings);
    tcsetattr(terminal, TCSANOW, &settings);
}

// The clock's watcher may run late on a busy machine, after the bytes that woke it were taken in
// and the next exchange has begun: that is no arrival of the new exchange. Bytes left waiting
// while every thread sleeps still count.
TEST(WakeUpClockTest, ALateWakeUpCountsOnlyWhileBytesWait) {
    struct Case {
        const char* name;
        bool takenIn;
        bool counted;
    };
    for (const Case& c :
         {Case{"taken in before", true, false}, Case{"left waiting", false, true}}) {
        SCOPED_TRACE(c.name);
        PseudoTerminal device;
        MakeRaw(device.Line());
        WakeUpClock clock(device.Line());
        clock.WatchThreads({});
        device.Send(B("x"));
        // Once the watcher has stamped the byte it is done with it; this thread sleeps meanwhile,
        // so the time since the stamp shows as asleep.
        for (int waitedMs = 0; clock.AsleepSinceArrivalUs() == 0; ++waitedMs) {
            ASSERT_LT(waitedMs, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (c.takenIn) {
            char byte;
            ASSERT_EQ(read(device.Line(), &byte, 1), 1);
        }
        clock.Start();
        clock.NoteArrival();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(clock.AsleepSinceArrivalUs() > 10000, c.counted);
    }
}

TEST(TimedExchangesTest, AReplyThatNeverComesIsAnError) {
    PseudoTerminal device;
    EchoDevice echo(device, 4, B("ACK\r"), 1);
    TPortSettings settings;
    settings.DeviceName = device.Path();
    TMacroHost host;
    // The answered wait is given all the time a loaded machine may need.
    const std::string takeReply =
        "if i = 1 then ComWait('ACK'#13, 30000) else ComWait('ACK'#13, 50);";
    const ExchangeTimes times =
        TimeExchanges(host, settings, ExchangeMacro(3, takeReply), '\r', {}, device.Line());
    EXPECT_EQ(times.error, "exchange #1: no reply (0 bytes waiting)");
    EXPECT_EQ(times.wallUs.size(), 2u) << "the run goes on after a lost reply";
}

} // namespace
