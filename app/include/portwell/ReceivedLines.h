#pragma once
// Cuts what a device sends on its own into lines for the traffic log, so that a reply reads as one
// line: a line ends after a line feed, after a carriage return not followed by a line feed, after
// a silence of SilenceMs, or when it reaches MaxLineBytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace portwell {

class TReceivedLines {
public:
    static constexpr uint32_t SilenceMs = 20;
    static constexpr size_t MaxLineBytes = 128;

    // Adds bytes that arrived at tick `now` and appends the lines they complete to `complete`.
    void Add(std::string_view bytes, uint32_t now, std::vector<std::string>& complete);
    // The pending bytes as a line once the line has been silent for SilenceMs at tick `now`; else
    // nothing, and they stay pending.
    std::string AfterSilence(uint32_t now);
    // The pending bytes as a line, whatever the time.
    std::string Flush();
    // Milliseconds from `now` until AfterSilence() gives the pending line; -1 when none is pending.
    int MsUntilSilence(uint32_t now) const;

    bool Pending() const { return !pending.empty(); }

private:
    std::string pending;
    uint32_t lastByte = 0;
};

} // namespace portwell
