#include "DevicePlayer.h"

#include <algorithm>
#include <poll.h>

namespace testsupport {

using Clock = std::chrono::steady_clock;

DevicePlayer::DevicePlayer(size_t count, Answer answer, Sent sent)
    : answer(std::move(answer)), sent(std::move(sent)) {
    for (size_t i = 0; i < count; ++i)
        devices.push_back(std::make_unique<PseudoTerminal>());
    received.resize(count);
    thread = std::thread([this] { Play(); });
}

DevicePlayer::~DevicePlayer() {
    stop = true;
    thread.join();
}

void DevicePlayer::Play() {
    while (!stop) {
        std::vector<pollfd> fds;
        for (const auto& device : devices)
            fds.push_back({device->Device(), POLLIN, 0});
        poll(fds.data(), fds.size(), NextTimeout());
        for (size_t i = 0; i < devices.size(); ++i)
            if (fds[i].revents & POLLIN) Take(i);
        SendDue();
    }
}

// Wakes for the earliest reply due, and at least every 10 ms to see whether to stop.
int DevicePlayer::NextTimeout() const {
    auto timeout = std::chrono::milliseconds(10);
    for (const Due& d : due)
        timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(
                                        std::max(d.at - Clock::now(), Clock::duration::zero())));
    return int(timeout.count());
}

void DevicePlayer::Take(size_t i) {
    const Bytes bytes = devices[i]->Drain();
    std::string& text = received[i];
    text.append(bytes.begin(), bytes.end());
    for (size_t end; (end = text.find('\r')) != std::string::npos; text.erase(0, end + 1)) {
        Reply reply = answer(i, text.substr(0, end));
        due.push_back({Clock::now() + reply.delay, i, std::move(reply.bytes)});
    }
}

void DevicePlayer::SendDue() {
    for (auto it = due.begin(); it != due.end();) {
        if (it->at > Clock::now()) {
            ++it;
            continue;
        }
        devices[it->device]->Send(Bytes(it->bytes.begin(), it->bytes.end()));
        if (sent) sent(it->device);
        it = due.erase(it);
    }
}

} // namespace testsupport
