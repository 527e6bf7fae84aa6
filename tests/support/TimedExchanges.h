#pragma once
// Request-and-reply macros on a macro host, each exchange timed from the request's ComWrite to the
// call that takes the reply in: ComWait, or the ComRead whose text completes the reply. Header
// only, for the tests and benchmarks that link the host.
#include "PseudoTerminal.h"
#include "Stalls.h"
#include "TextLines.h"
#include "portwell/MacroHost.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ExchangeTimes {
    std::vector<double> wallUs;
    std::vector<double> asleepUs; // how long the reply waited with every thread asleep
    std::string error;            // what ended the run, or ""

    // The asleep times above `limitUs`, as text for a failure message ("" when none).
    std::string Above(double limitUs) const {
        std::string text;
        for (size_t i = 0; i < asleepUs.size(); ++i)
            if (asleepUs[i] > limitUs)
                text += " #" + std::to_string(i) + ": " + std::to_string(int(asleepUs[i])) +
                        " us (wall " + std::to_string(int(wallUs[i])) + ")";
        return text;
    }
};

// Runs `macro`; every reply ends with `replyEnd`. The clock (see WakeUpClock) watches `terminal`,
// the device's line, from the start, or else the port from its first ComWrite; it counts the time
// of this process's threads, but `notWatched`, from the first ComWrite, when the port's threads
// exist.
inline ExchangeTimes TimeExchanges(portwell::TMacroHost& host,
                                   const portwell::TPortSettings& settings,
                                   const std::string& macro, char replyEnd,
                                   std::vector<pid_t> notWatched = {}, int terminal = -1) {
    ExchangeTimes times;
    std::unique_ptr<WakeUpClock> clock;
    if (terminal >= 0) clock = std::make_unique<WakeUpClock>(terminal);
    bool watching = false;
    auto stop = [&] {
        times.asleepUs.push_back(clock->AsleepSinceArrivalUs());
        times.wallUs.push_back(clock->WallSinceStartUs());
    };
    host.Kestrel1.ProcParam = [&](const std::string& name, int32_t index, ksl::TArgumentList& args,
                                  int32_t& err) {
        if (index == 2) {
            if (!clock) clock = std::make_unique<WakeUpClock>(host.COMPort.Handle());
            if (!watching) clock->WatchThreads(notWatched);
            watching = true;
            clock->Start();
        }
        host.Kestrel1ProcParam(name, index, args, err);
    };
    host.Kestrel1.IntFuncParam = [&](const std::string& name, int32_t index,
                                     ksl::TArgumentList& args, int32_t& err, int64_t& result) {
        host.Kestrel1IntFuncParam(name, index, args, err, result);
        if (index != 4 || !watching) return;
        stop();
        if (result != 0 || !times.error.empty()) return;
        // A reply that never comes has no arrival to time, so it would pass for a quick one. Bytes
        // waiting after the wait gave up mean a wake-up lost for the whole wait. The run ends
        // there: a device and a macro out of step would wait out every exchange left.
        times.error = "exchange #" + std::to_string(times.wallUs.size() - 1) + ": no reply (" +
                      std::to_string(host.COMPort.InQueCount()) + " bytes waiting)";
        host.Stop();
    };
    host.Kestrel1.StrFuncParam = [&](const std::string& name, int32_t index,
                                     ksl::TArgumentList& args, int32_t& err, std::string& result) {
        host.Kestrel1StrFuncParam(name, index, args, err, result);
        if (index == 3 && watching && !result.empty() && result.back() == replyEnd) stop();
    };
    const ksl::TStrings lines = SplitLines(macro);
    try {
        host.Run(settings, &lines);
    } catch (const std::exception& failure) {
        times.error = failure.what();
    }
    return times;
}

// A device on a pseudo-terminal that answers each request of `requestSize` bytes with `reply`,
// `count` times, from a thread of its own.
class EchoDevice {
public:
    EchoDevice(PseudoTerminal& device, size_t requestSize, Bytes reply, int count)
        : FThread([&device, requestSize, reply = std::move(reply), count] {
              try {
                  for (int i = 0; i < count; ++i) {
                      device.Receive(requestSize);
                      device.Send(reply);
                  }
              } catch (const std::exception&) {
                  // No request in time: the macro has ended early and says why.
              }
          }) {}
    ~EchoDevice() { FThread.join(); }
    EchoDevice(const EchoDevice&) = delete;
    EchoDevice& operator=(const EchoDevice&) = delete;

private:
    std::thread FThread;
};

// A macro of `count` exchanges: "REQ"#13 out, "ACK"#13 back, taken in by `takeReply`.
inline std::string ExchangeMacro(int count, const std::string& takeReply) {
    return "var i, ok: integer; s: string;\nbegin\n  for i := 1 to " + std::to_string(count) +
           " do begin\n    ComWrite('REQ'#13);\n    " + takeReply + "\n  end\nend.";
}

} // namespace testsupport
