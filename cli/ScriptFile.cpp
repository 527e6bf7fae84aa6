#include "ScriptFile.h"

#include <fstream>
#include <iostream>

namespace cli {

ksl::TStrings ReadScriptLines(std::istream& in) {
    ksl::TStrings lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::optional<ksl::TStrings> ReadScriptFile(const std::string& path) {
    if (path == "-") return ReadScriptLines(std::cin);
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return ReadScriptLines(in);
}

} // namespace cli
