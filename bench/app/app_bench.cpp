// Three figures of the macro host on a pseudo-terminal whose other side this program plays:
//   - the process's CPU share while ComWait waits 5 seconds for a reply that never comes;
//   - the time per request and reply over 200 exchanges;
//   - the error of the gaps a recording measures.
#include "PseudoTerminal.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "portwell/MacroHost.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace portwell;
using testsupport::Bytes;
using testsupport::PseudoTerminal;
using namespace std::chrono;

namespace {

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TPortSettings On(const PseudoTerminal& device) {
    TPortSettings settings;
    settings.DeviceName = device.Path();
    return settings;
}

void CpuShareOfAnUnansweredWait() {
    PseudoTerminal device;
    TMacroHost host;
    ksl::TStrings macro{"ComWait('never', 5000)"};
    const double cpuBefore = CpuSeconds();
    const auto start = steady_clock::now();
    host.Run(On(device), &macro);
    const double wall = duration<double>(steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("CPU share during a 5 s ComWait with no reply: %.3f %% (%.2f ms CPU in %.2f s; "
                "target under 0.2 %%)\n",
                100.0 * cpu / wall, cpu * 1000, wall);
}

void RequestReplyTime() {
    constexpr int exchanges = 200;
    PseudoTerminal device;
    // A request that does not come ends the playing; the macro then reports the replies lost.
    std::thread player([&] {
        try {
            for (int i = 0; i < exchanges; ++i) {
                if (device.Receive(4) != B("REQ\r")) return;
                device.Send(B("ACK\r"));
            }
        } catch (const std::exception&) {}
    });
    TMacroHost host;
    ksl::TStrings macro{"var i, ok: integer; begin for i := 1 to " + std::to_string(exchanges) +
                        " do begin ComWrite('REQ'#13); ok := ok + ComWait('ACK'#13, 2000) end;"
                        " if ok <> -" +
                        std::to_string(exchanges) + " then Print('lost') end."};
    const auto start = steady_clock::now();
    host.Run(On(device), &macro);
    const double total = duration<double>(steady_clock::now() - start).count();
    player.join();
    std::printf("Request and reply on a pseudo-terminal: %.3f ms per exchange (%d exchanges "
                "in %.3f s; target at most 0.1 ms)\n",
                total * 1000 / exchanges, exchanges, total);
}

void RecordedGapError() {
    const std::vector<int> gaps = {25, 40, 75, 153, 300, 500};
    PseudoTerminal device;
    TMacroHost host;
    std::thread player([&] {
        std::this_thread::sleep_for(milliseconds(200));
        device.Send(B("S"));
        for (int gap : gaps) {
            std::this_thread::sleep_for(milliseconds(gap));
            device.Send(B("x"));
        }
        std::this_thread::sleep_for(milliseconds(100));
        platform::Synchronize([&] { host.Stop(); });
    });
    ksl::TStrings recorded;
    host.Record(On(device), recorded);
    player.join();
    std::vector<int> measured;
    for (const std::string& line : recorded)
        if (line.starts_with("Sleep(")) measured.push_back(std::stoi(line.substr(6)));
    if (measured.size() != gaps.size()) {
        std::printf("Recorded gaps: expected %zu Sleep lines, got %zu\n", gaps.size(),
                    measured.size());
        return;
    }
    double sum = 0, worst = 0;
    std::printf("Recorded gaps (planned -> recorded ms):");
    for (size_t i = 0; i < gaps.size(); ++i) {
        const double error = std::abs(measured[i] - gaps[i]);
        sum += error;
        worst = std::max(worst, error);
        std::printf(" %d->%d", gaps[i], measured[i]);
    }
    std::printf("\nRecorded gap error: mean %.1f ms, worst %.0f ms (target within 1 ms)\n",
                sum / double(gaps.size()), worst);
}

} // namespace

int main() {
    CpuShareOfAnUnansweredWait();
    RequestReplyTime();
    RecordedGapError();
}
