#pragma once
// How a traffic-log line is shown and kept: time stamps, and the bytes of the data lines as text.
// These only change the look of a line; the line itself stays as it was logged.
#include "portwell/TrafficLog.h"

#include <string>
#include <string_view>

namespace portwell {

// The local time of day to the millisecond: "14:03:07.250".
std::string ClockTimeStamp(TLogTime time);
// The local date and time to the millisecond with the offset from UTC:
// "2024-05-01T14:03:07.250+02:00".
std::string IsoTimeStamp(TLogTime time);

// Bytes as readable text: printable ASCII and valid UTF-8 as they are, a backslash doubled, and
// every other byte as \r, \n, \t or \xNN. The send bar's text mode reads it back to the same bytes.
std::string EscapedText(std::string_view bytes);

struct TLineLook {
    bool TimeStamps = false; // the local time before each line
    bool DataAsText = false; // the bytes of Com_SD:, Com_RD:, Rec_RD: and Timeout: lines as text
    bool operator==(const TLineLook&) const = default;
};

// The line as the pane shows it.
std::string ShownLine(const std::string& line, TLogTime time, const TLineLook& look);

} // namespace portwell
