#include "portwell/TrafficLog.h"

namespace portwell {

void TTrafficLog::Add(const std::string& text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        AddLine(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    AddLine(text.substr(start));
}

void TTrafficLog::AddLine(std::string line) {
    lines.push_back(std::move(line));
    while (lines.size() > MaxLines)
        lines.pop_front();
    if (OnLine) OnLine(lines.back());
}

} // namespace portwell
