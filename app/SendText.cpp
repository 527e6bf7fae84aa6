#include "portwell/SendText.h"

#include "portwell/HexText.h"

#include <algorithm>

namespace portwell {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Column(size_t index) {
    return " at column " + std::to_string(index + 1);
}

// One escape starting at text[i] (a backslash): appends its byte, returns the length used, or 0
// with `error` set.
size_t Escape(std::string_view text, size_t i, std::string& bytes, std::string& error) {
    if (i + 1 >= text.size()) {
        error = "a lone \\" + Column(i) + " (write \\\\ for a backslash)";
        return 0;
    }
    switch (text[i + 1]) {
    case 'r':
        bytes += '\r';
        return 2;
    case 'n':
        bytes += '\n';
        return 2;
    case 't':
        bytes += '\t';
        return 2;
    case '\\':
        bytes += '\\';
        return 2;
    case 'x': {
        const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
        if (high < 0 || low < 0) {
            error = "\\x needs two hexadecimal digits" + Column(i) + ", as in \\x0D";
            return 0;
        }
        bytes += char(high * 16 + low);
        return 4;
    }
    default:
        error = "unknown escape \\" + std::string(1, text[i + 1]) + Column(i) +
                " (use \\r \\n \\t \\xNN or \\\\)";
        return 0;
    }
}

TSendBytes FromText(std::string_view text) {
    TSendBytes result;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\\') {
            result.Bytes += text[i++];
            continue;
        }
        const size_t used = Escape(text, i, result.Bytes, result.Error);
        if (used == 0) return {{}, result.Error};
        i += used;
    }
    return result;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ';' || c == ':' || c == '-';
}

TSendBytes FromHex(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (HexValue(text[i]) < 0 && !IsSeparator(text[i]))
            return {{},
                    "not hexadecimal: '" + std::string(1, text[i]) + "'" + Column(i) +
                        " (write bytes as 41 42 0D)"};
    return {HexToStr(text), {}};
}

} // namespace

std::string_view LineEndBytes(TLineEnd end) {
    switch (end) {
    case TLineEnd::CR:
        return "\r";
    case TLineEnd::LF:
        return "\n";
    case TLineEnd::CRLF:
        return "\r\n";
    case TLineEnd::None:
        break;
    }
    return "";
}

TSendBytes BytesToSend(std::string_view text, TSendMode mode, TLineEnd end) {
    TSendBytes result = mode == TSendMode::Hex ? FromHex(text) : FromText(text);
    if (result.Error.empty()) result.Bytes += LineEndBytes(end);
    return result;
}

TSendHistory::TSendHistory(const std::vector<std::string>& stored) {
    for (const std::string& text : stored)
        Add(text);
}

void TSendHistory::Add(const std::string& text) {
    if (!text.empty()) {
        entries.erase(std::remove(entries.begin(), entries.end(), text), entries.end());
        entries.push_back(text);
        if (entries.size() > MaxEntries) entries.erase(entries.begin());
    }
    shown = entries.size();
    draft.clear();
}

std::optional<std::string> TSendHistory::Older(const std::string& typed) {
    if (shown == 0) return std::nullopt;
    if (shown == entries.size()) draft = typed;
    return entries[--shown];
}

std::optional<std::string> TSendHistory::Newer() {
    if (shown >= entries.size()) return std::nullopt;
    ++shown;
    return shown == entries.size() ? draft : entries[shown];
}

} // namespace portwell
