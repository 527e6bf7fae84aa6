#include "portwell/ReceivedLines.h"

#include <algorithm>
#include <utility>

namespace portwell {

// A carriage return at the end stays pending: a line feed may still follow it. The bytes are taken
// in runs up to the next line end, since a flooding device sends them by the megabyte.
void TReceivedLines::Add(std::string_view bytes, uint32_t now, std::vector<std::string>& complete) {
    if (bytes.empty()) return;
    size_t next = 0;
    while (next < bytes.size()) {
        const bool crWithoutLf = !pending.empty() && pending.back() == '\r' && bytes[next] != '\n';
        if (crWithoutLf) complete.push_back(std::exchange(pending, {}));
        const size_t lineEnd = bytes.find_first_of("\r\n", next);
        const size_t run =
            lineEnd == std::string_view::npos ? bytes.size() - next : lineEnd + 1 - next;
        const size_t taken = std::min(run, MaxLineBytes - pending.size());
        pending.append(bytes.substr(next, taken));
        next += taken;
        if (pending.back() == '\n' || pending.size() >= MaxLineBytes)
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
