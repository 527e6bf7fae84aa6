#pragma once
// A pseudo-terminal on which a test or a benchmark plays the device, and helpers that serve
// hand-overs the way the user-interface thread does. Nothing here needs a test framework: what
// cannot be done as asked throws std::runtime_error, which fails the test it happens in.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// The bytes of a text, as a test writes them to a device or expects them back.
inline Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The device path the component opens.
    const std::string& Path() const { return FPath; }
    // A descriptor of the component's side held by the test, for inspecting the line.
    int Line() const { return FSlave; }
    // The device's side, non-blocking, for a player that waits on many devices at once.
    int Device() const { return FMaster; }

    // Writes all of `bytes`, waiting for room as needed.
    void Send(const Bytes& bytes);
    // Writes what fits at once, without waiting; safe from another thread.
    void Offer(const Bytes& bytes);
    // The `count` bytes the component writes next; throws when another number comes in time.
    Bytes Receive(size_t count);
    // Everything the component wrote that is there now.
    Bytes Drain();
    // Closes the device side, as when an adapter is unplugged.
    void HangUp();

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FPath;
};

Bytes AllByteValues();

// Serves hand-overs until `done` holds; false when it does not within the time-out.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
void PumpFor(int milliseconds);

} // namespace testsupport
