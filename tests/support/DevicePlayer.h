#pragma once
// Plays many devices on pseudo-terminals from one thread of its own: every request a device
// receives, up to a carriage return, gets the reply that `answer` gives, after the reply's delay.
#include "PseudoTerminal.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class DevicePlayer {
public:
    struct Reply {
        std::string bytes;
        std::chrono::milliseconds delay{0};
    };
    // Both are called on the player's thread, in the order things happen on the devices.
    using Answer = std::function<Reply(size_t device, const std::string& request)>;
    using Sent = std::function<void(size_t device)>;

    DevicePlayer(size_t count, Answer answer, Sent sent = nullptr);
    ~DevicePlayer();
    DevicePlayer(const DevicePlayer&) = delete;
    DevicePlayer& operator=(const DevicePlayer&) = delete;

    std::string Path(size_t i) const { return devices[i]->Path(); }
    // "pts/5" for /dev/pts/5: how a station names the device.
    std::string Label(size_t i) const { return Path(i).substr(std::string("/dev/").size()); }

private:
    struct Due {
        std::chrono::steady_clock::time_point at;
        size_t device;
        std::string bytes;
    };

    void Play();
    int NextTimeout() const;
    void Take(size_t i);
    void SendDue();

    Answer answer;
    Sent sent;
    std::vector<std::unique_ptr<PseudoTerminal>> devices;
    std::vector<std::string> received;
    std::vector<Due> due;
    std::atomic<bool> stop{false};
    std::thread thread;
};

} // namespace testsupport
