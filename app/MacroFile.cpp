#include "portwell/MacroFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace portwell {

namespace {

const std::string byteOrderMark = "\xEF\xBB\xBF";

// Far beyond any macro a person writes; reading /dev/zero or a runaway pipe stops here.
constexpr size_t maxMacroBytes = 16 << 20;

[[noreturn]] void CannotRead(const std::string& path, const std::string& reason) {
    throw std::runtime_error("cannot read '" + path + "': " + reason);
}

// A directory opens as a stream that reads nothing; it must not pass as an empty macro.
void RefuseDirectory(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) CannotRead(path, std::strerror(EISDIR));
}

std::string ReadCapped(std::istream& in) {
    std::string text;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, size_t(in.gcount()));
        if (text.size() > maxMacroBytes)
            throw std::runtime_error("the macro is larger than " +
                                     std::to_string(maxMacroBytes >> 20) + " MB");
    }
    if (in.bad()) throw std::runtime_error("a read error occurred");
    return text;
}

ksl::TStrings SplitLines(std::string_view text) {
    ksl::TStrings lines;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

} // namespace

ksl::TStrings ReadMacroLines(std::istream& in) {
    const std::string text = ReadCapped(in);
    std::string_view unmarked = text;
    if (unmarked.starts_with(byteOrderMark)) unmarked.remove_prefix(byteOrderMark.size());
    return SplitLines(unmarked);
}

namespace {

ksl::TStrings LinesOf(std::istream& in, const std::string& path) {
    try {
        return ReadMacroLines(in);
    } catch (const std::runtime_error& e) {
        CannotRead(path, e.what());
    }
}

} // namespace

ksl::TStrings ReadMacroFile(const std::string& path) {
    if (path == "-") return LinesOf(std::cin, path);
    RefuseDirectory(path);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) CannotRead(path, errno ? std::strerror(errno) : "cannot open the file");
    return LinesOf(in, path);
}

std::string MacroFileName(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

} // namespace portwell
