// Request and reply through the macro host (ComWrite, then ComWait for the answer), each exchange
// timed from the request to the reply taken in: on a pseudo-terminal whose far end answers from a
// thread of this program, with the machine quiet and with a thread spinning on another processor,
// and a longer stress run that counts the exchanges over 5 ms.
#include "PseudoTerminal.h"
#include "Stalls.h"
#include "TimedExchanges.h"
#include "portwell/MacroHost.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr int Exchanges = 10000;
constexpr int StressExchanges = 20000;
const std::string TakeReply = "if ComWait('ACK'#13, 2000) = 0 then Print('lost');";

ExchangeTimes OnPseudoTerminal(int count, bool loaded) {
    std::optional<CoreLoader> loader;
    if (loaded) loader.emplace(0);
    PseudoTerminal device;
    EchoDevice echo(device, 4, {'A', 'C', 'K', '\r'}, count);
    portwell::TPortSettings settings;
    settings.DeviceName = device.Path();
    portwell::TMacroHost host;
    std::vector<pid_t> notWatched;
    if (loader) notWatched.push_back(loader->ThreadId());
    return TimeExchanges(host, settings, ExchangeMacro(count, TakeReply), '\r', notWatched,
                         device.Line());
}

void Report(const char* what, ExchangeTimes times) {
    if (!times.error.empty()) {
        std::printf("%s: failed: %s\n", what, times.error.c_str());
        return;
    }
    std::vector<double>& wall = times.wallUs;
    const double median = Percentile(wall, 0.5), p99 = Percentile(wall, 0.99);
    std::printf("%s: median %.0f us, p99 %.0f us, max %.0f us over %zu exchanges\n", what, median,
                p99, wall.back(), wall.size());
}

long Over5ms(const std::vector<double>& samples) {
    return long(std::count_if(samples.begin(), samples.end(), [](double us) { return us > 5000; }));
}

// A lost wake-up shows as a reply that waited while every thread of this program slept; a busy
// machine only as a long exchange.
void Stress() {
    const ExchangeTimes times = OnPseudoTerminal(StressExchanges, true);
    if (!times.error.empty()) std::printf("stress: failed: %s\n", times.error.c_str());
    std::printf("stress, other core loaded: %ld of %zu exchanges over 5 ms; replies that waited "
                "over 5 ms with every thread asleep (lost wake-ups): %ld\n",
                Over5ms(times.wallUs), times.wallUs.size(), Over5ms(times.asleepUs));
}

std::string LoadAverage() {
    char text[64] = "?";
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file)) text[0] = '\0';
        std::fclose(file);
    }
    std::string load(text);
    return load.substr(0, load.find(' '));
}

} // namespace

int main() {
    std::printf("targets on a quiet machine: p99 <= 300 us, max <= 2000 us (load average now %s "
                "on %ld processors)\n",
                LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    Report("pseudo-terminal, no added load", OnPseudoTerminal(Exchanges, false));
    Report("pseudo-terminal, a thread spinning on the other core", OnPseudoTerminal(Exchanges, true));
    Stress();
}
