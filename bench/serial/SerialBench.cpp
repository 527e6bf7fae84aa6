// Prints the bytes per second that pass through loop:// in 4 KiB writes, and the time from a byte
// written on the far side of a pseudo-terminal to its received-character event on this thread.
#include "PseudoTerminal.h"
#include "platform/Messages.h"
#include "serial/Comm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

using Clock = std::chrono::steady_clock;
using serial::TComm;
using serial::TCustomComm;

namespace {

constexpr int32_t BlockSize = 4096;
constexpr int64_t TotalBytes = 64ll << 20;
// Below what the two pseudo-terminal queues hold, so that a write never waits on our own reading.
constexpr int64_t InFlightLimit = 4 * BlockSize;
constexpr int LatencySamples = 2000;

void ServeHandOvers() {
    platform::WaitForMessage(10);
    platform::RunHandOvers();
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double LoopbackBytesPerSecond() {
    TComm comm;
    comm.SetDeviceName("loop://");
    int64_t received = 0;
    std::vector<uint8_t> sink(1 << 16);
    comm.OnRxChar = [&](TCustomComm& port, int32_t) {
        for (int32_t n; (n = port.Read(sink.data(), int32_t(sink.size()))) > 0;)
            received += n;
    };
    comm.Open();
    const std::vector<uint8_t> block(BlockSize, 0x55);
    int64_t sent = 0;
    const auto start = Clock::now();
    while (received < TotalBytes) {
        if (sent < TotalBytes && sent - received <= InFlightLimit) {
            const int32_t n = comm.Write(block.data(), BlockSize);
            if (n <= 0) throw std::runtime_error("write to loop:// failed");
            sent += n;
            platform::RunHandOvers();
        } else {
            ServeHandOvers();
        }
    }
    return double(TotalBytes) / Seconds(Clock::now() - start);
}

std::vector<double> EventDelaysMicroseconds() {
    testsupport::PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    Clock::time_point arrived;
    bool seen = false;
    comm.OnRxChar = [&](TCustomComm& port, int32_t count) {
        arrived = Clock::now();
        seen = true;
        std::vector<uint8_t> bytes(static_cast<size_t>(count));
        port.Read(bytes.data(), count);
    };
    comm.Open();
    std::vector<double> delays;
    const testsupport::Bytes byte{0x41};
    for (int i = 0; i < LatencySamples; ++i) {
        seen = false;
        const auto written = Clock::now();
        device.Send(byte);
        while (!seen)
            ServeHandOvers();
        delays.push_back(Seconds(arrived - written) * 1e6);
    }
    comm.Close();
    std::sort(delays.begin(), delays.end());
    return delays;
}

} // namespace

int main() {
    try {
        const double rate = LoopbackBytesPerSecond();
        std::printf("loop:// throughput, 4 KiB writes: %.1f MB/s (%.0f bytes/s)\n", rate / 1e6,
                    rate);
        const std::vector<double> delays = EventDelaysMicroseconds();
        std::printf("byte written to received-character event: median %.0f us, p99 %.0f us, "
                    "max %.0f us (%d samples)\n",
                    delays[delays.size() / 2], delays[delays.size() * 99 / 100], delays.back(),
                    LatencySamples);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "serial_bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
