#pragma once
// The JUnit XML report of a station run, which CI servers show as test results: one test suite
// named after the macro, one test case per device.
#include "cli/Station.h"

#include <string>
#include <string_view>

namespace cli {

// `text` as XML character data or, with `attribute`, as an attribute value. Bytes that XML cannot
// carry (control characters, invalid UTF-8) are written "\xNN".
std::string XmlText(std::string_view text, bool attribute = false);

std::string JUnitXml(const TStationResults& results, const std::string& hostName);

// Writes `text` into a temporary file beside `path`, flushes it to the disk and renames it over
// `path`, so that a reader sees the old file or the whole new one. Throws std::runtime_error with
// the reason when it cannot.
void WriteFileAtomically(const std::string& path, const std::string& text);

} // namespace cli
