#pragma once
// A fuzz input cut into the pieces a harness hands on: lines, arguments.
#include <string>
#include <string_view>
#include <vector>

inline std::vector<std::string> Pieces(std::string_view bytes, char separator) {
    std::vector<std::string> pieces(1);
    for (char c : bytes) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}
