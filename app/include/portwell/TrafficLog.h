#pragma once
// The traffic log: the lines a macro run leaves, the newest last, at most 200 of them, each with
// the moment it was logged.
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace portwell {

using TLogClock = std::chrono::system_clock;
using TLogTime = TLogClock::time_point;

class TTrafficLog {
public:
    static constexpr size_t MaxLines = 200;

    // Appends a text as the last line; a text with line breaks adds a line for each part.
    // The oldest lines go once there are more than MaxLines.
    void Add(const std::string& text);
    void Clear();
    const std::deque<std::string>& Lines() const { return lines; }
    // When each of Lines() was logged, in the same order.
    const std::deque<TLogTime>& Times() const { return times; }

    // Told of every line as it is added (a window scrolls it into view, a terminal prints it).
    std::function<void(const std::string& line)> OnLine;
    // The same, with the moment the line was logged, for those that show or keep it.
    std::function<void(const std::string& line, TLogTime time)> OnStampedLine;

private:
    void AddLine(std::string line, TLogTime time);

    std::deque<std::string> lines;
    std::deque<TLogTime> times;
};

} // namespace portwell
