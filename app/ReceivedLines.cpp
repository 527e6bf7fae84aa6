#include "portwell/ReceivedLines.h"

#include <utility>

namespace portwell {

// A carriage return at the end stays pending: a line feed may still follow it.
void TReceivedLines::Add(std::string_view bytes, uint32_t now, std::vector<std::string>& complete) {
    if (bytes.empty()) return;
    for (char byte : bytes) {
        const bool crWithoutLf = !pending.empty() && pending.back() == '\r' && byte != '\n';
        if (crWithoutLf) complete.push_back(std::exchange(pending, {}));
        pending += byte;
        if (byte == '\n' || pending.size() >= MaxLineBytes)
            complete.push_back(std::exchange(pending, {}));
    }
    lastByte = now;
}

std::string TReceivedLines::AfterSilence(uint32_t now) {
    if (pending.empty() || uint32_t(now - lastByte) < SilenceMs) return {};
    return Flush();
}

std::string TReceivedLines::Flush() {
    return std::exchange(pending, {});
}

int TReceivedLines::MsUntilSilence(uint32_t now) const {
    if (pending.empty()) return -1;
    const uint32_t silent = uint32_t(now - lastByte);
    return silent >= SilenceMs ? 0 : int(SilenceMs - silent);
}

} // namespace portwell
