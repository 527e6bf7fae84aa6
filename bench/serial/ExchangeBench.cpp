// Request and reply through the macro host (ComWrite, then ComWait for the answer), each exchange
// timed from the request to the reply taken in: on a pseudo-terminal whose far end answers from a
// thread of this program, with the machine quiet and with a thread spinning on another processor;
// a longer stress run that counts the exchanges over 5 ms; and the same pseudo-terminal served by
// ser2net through tcp:// and rfc2217://, with the time of a 10 MB transfer each way.
#include "PseudoTerminal.h"
#include "Ser2net.h"
#include "Stalls.h"
#include "TimedExchanges.h"
#include "platform/Messages.h"
#include "portwell/MacroHost.h"
#include "serial/Comm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr int Exchanges = 10000;
constexpr int StressExchanges = 20000;
const std::string TakeReply = "if ComWait('ACK'#13, 2000) = 0 then Print('lost');";

constexpr size_t TransferBytes = 10 << 20;

ExchangeTimes Exchange(PseudoTerminal& device, const std::string& deviceName, int count) {
    EchoDevice echo(device, 4, {'A', 'C', 'K', '\r'}, count);
    portwell::TPortSettings settings;
    settings.DeviceName = deviceName;
    portwell::TMacroHost host;
    return TimeExchanges(host, settings, ExchangeMacro(count, TakeReply), '\r');
}

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

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i);
    return bytes;
}

// From Portwell to the device: 4 KiB writes, until the device side has it all.
double SendSeconds(PseudoTerminal& device, serial::TComm& comm) {
    const Bytes data = Pattern(TransferBytes);
    const auto start = std::chrono::steady_clock::now();
    std::thread sink([&] { device.Receive(TransferBytes); });
    for (size_t at = 0; at < data.size();) {
        const int32_t n = comm.Write(data.data() + at, 4096);
        if (n <= 0) throw std::runtime_error("write failed");
        at += size_t(n);
    }
    sink.join();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// From the device to Portwell, read as it comes.
double ReceiveSeconds(PseudoTerminal& device, serial::TComm& comm) {
    const auto start = std::chrono::steady_clock::now();
    std::thread source([&] { device.Send(Pattern(TransferBytes)); });
    std::vector<uint8_t> buffer(1 << 16);
    size_t received = 0;
    while (received < TransferBytes) {
        const int32_t n = comm.Read(buffer.data(), int32_t(buffer.size()));
        if (n < 0) throw std::runtime_error("read failed");
        if (n == 0) platform::WaitForMessage(10), platform::RunHandOvers();
        received += size_t(n);
    }
    source.join();
    return Seconds(std::chrono::steady_clock::now() - start);
}

void Transfer(const char* what, PseudoTerminal& device, const std::string& deviceName) {
    serial::TComm comm;
    comm.SetDeviceName(deviceName);
    comm.Open();
    const double out = SendSeconds(device, comm), in = ReceiveSeconds(device, comm);
    std::printf("%s, 10 MB: to the device %.2f s (%.1f MB/s), from it %.2f s (%.1f MB/s)\n", what,
                out, TransferBytes / out / 1e6, in, TransferBytes / in / 1e6);
}

void OverTheNetwork() {
    if (!Ser2net::Installed()) {
        std::printf("network devices: skipped, %s\n", Ser2net::NotInstalled);
        return;
    }
    for (const bool rfc2217 : {false, true}) {
        PseudoTerminal device;
        Ser2net server(device.Path(), rfc2217);
        const std::string what = std::string(rfc2217 ? "rfc2217://" : "tcp://") + " to ser2net";
        Report(what.c_str(), Exchange(device, server.DeviceName(), Exchanges));
        Transfer(what.c_str(), device, server.DeviceName());
    }
    PseudoTerminal device;
    Transfer("pseudo-terminal", device, device.Path());
}

int main() {
    std::printf("targets on a quiet machine: p99 <= 300 us, max <= 2000 us (load average now %s "
                "on %ld processors)\n",
                LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    Report("pseudo-terminal, no added load", OnPseudoTerminal(Exchanges, false));
    Report("pseudo-terminal, a thread spinning on the other core",
           OnPseudoTerminal(Exchanges, true));
    Stress();
    OverTheNetwork();
}
