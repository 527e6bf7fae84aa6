#pragma once
// The traffic log: the lines a macro run leaves, the newest last, at most 200 of them.
#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace portwell {

class TTrafficLog {
public:
    static constexpr size_t MaxLines = 200;

    // Appends a text as the last line; a text with line breaks adds a line for each part.
    // The oldest lines go once there are more than MaxLines.
    void Add(const std::string& text);
    void Clear() { lines.clear(); }
    const std::deque<std::string>& Lines() const { return lines; }

    // Told of every line as it is added (a window scrolls it into view, a terminal prints it).
    std::function<void(const std::string& line)> OnLine;

private:
    void AddLine(std::string line);

    std::deque<std::string> lines;
};

} // namespace portwell
