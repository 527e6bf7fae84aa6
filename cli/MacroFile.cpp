#include "MacroFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace cli {

namespace {

const std::string byteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void CannotRead(const std::string& path, const std::string& reason) {
    throw std::runtime_error("cannot read '" + path + "': " + reason);
}

// A directory opens as a stream that reads nothing; it must not pass as an empty macro.
void RefuseDirectory(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) CannotRead(path, std::strerror(EISDIR));
}

} // namespace

ksl::TStrings ReadMacroLines(std::istream& in) {
    ksl::TStrings lines;
    for (std::string line; std::getline(in, line);) {
        if (lines.empty() && line.starts_with(byteOrderMark)) line.erase(0, byteOrderMark.size());
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

ksl::TStrings ReadMacroFile(const std::string& path) {
    if (path == "-") return ReadMacroLines(std::cin);
    RefuseDirectory(path);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) CannotRead(path, errno ? std::strerror(errno) : "cannot open the file");
    ksl::TStrings lines = ReadMacroLines(in);
    if (in.bad()) CannotRead(path, "a read error occurred");
    return lines;
}

} // namespace cli
