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

using namespace portwell;
using namespace testsupport;

namespace {

constexpr double StallLimitUs = 5000;

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

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

} // namespace
