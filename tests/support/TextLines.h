#pragma once
// A script written in a test as one text, cut into the lines a host hands the engine.
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    lines.push_back(text.substr(start));
    return lines;
}

} // namespace testsupport
