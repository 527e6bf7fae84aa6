#include "portwell/TrafficLog.h"

namespace portwell {

void TTrafficLog::Add(const std::string& text) {
    const TLogTime now = TLogClock::now();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        AddLine(text.substr(start, i - start), now);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    AddLine(text.substr(start), now);
}

void TTrafficLog::Clear() {
    lines.clear();
    times.clear();
}

void TTrafficLog::AddLine(std::string line, TLogTime time) {
    lines.push_back(std::move(line));
    times.push_back(time);
    while (lines.size() > MaxLines) {
        lines.pop_front();
        times.pop_front();
    }
    if (OnLine) OnLine(lines.back());
    if (OnStampedLine) OnStampedLine(lines.back(), time);
}

} // namespace portwell
