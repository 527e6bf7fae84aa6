#include "portwell/LogText.h"

#include "portwell/HexText.h"
#include "portwell/Utf8.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace portwell {

namespace {

struct TLocalTime {
    std::tm fields{};
    int milliseconds = 0;
};

TLocalTime LocalTime(TLogTime time) {
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    int64_t ms = sinceEpoch.count() % 1000;
    std::time_t seconds = std::time_t(sinceEpoch.count() / 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    TLocalTime local;
    localtime_r(&seconds, &local.fields);
    local.milliseconds = int(ms);
    return local;
}

void AppendEscaped(std::string& out, uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    switch (byte) {
    case '\r':
        out += "\\r";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\\':
        out += "\\\\";
        return;
    default:
        break;
    }
    if (byte >= 0x20 && byte < 0x7F) {
        out += char(byte);
        return;
    }
    ((out += "\\x") += digits[byte >> 4]) += digits[byte & 0xF];
}

constexpr std::array<std::string_view, 4> DataPrefixes = {
    "Com_SD:", "Com_RD:", "Rec_RD:", "Timeout:"};

std::string WithDataAsText(const std::string& line) {
    for (std::string_view prefix : DataPrefixes)
        if (line.starts_with(prefix))
            return std::string(prefix) + EscapedText(HexToStr(line.substr(prefix.size())));
    return line;
}

} // namespace

std::string ClockTimeStamp(TLogTime time) {
    const TLocalTime local = LocalTime(time);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.fields.tm_hour,
                  local.fields.tm_min, local.fields.tm_sec, local.milliseconds);
    return text;
}

std::string IsoTimeStamp(TLogTime time) {
    const TLocalTime local = LocalTime(time);
    const long offsetMinutes = local.fields.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.fields.tm_year + 1900, local.fields.tm_mon + 1, local.fields.tm_mday,
                  local.fields.tm_hour, local.fields.tm_min, local.fields.tm_sec,
                  local.milliseconds, offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::string EscapedText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        // ASCII takes the escapes' path: its control bytes and the backslash are escaped.
        if (const size_t length = Utf8SequenceLength(bytes.substr(i)); length > 1) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            AppendEscaped(out, uint8_t(bytes[i++]));
        }
    }
    return out;
}

std::string ShownLine(const std::string& line, TLogTime time, const TLineLook& look) {
    std::string shown = look.DataAsText ? WithDataAsText(line) : line;
    if (look.TimeStamps) shown.insert(0, ClockTimeStamp(time) + " ");
    return shown;
}

} // namespace portwell
