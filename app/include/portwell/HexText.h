#pragma once
// Bytes as hexadecimal text and back, as the traffic log and the Hex routines show them.
#include <string>
#include <string_view>

namespace portwell {

// "41 42 0D" for "AB" and a carriage return: two upper-case digits a byte, one blank between.
std::string StrToHex(std::string_view S);

// Reads pairs of hexadecimal digits and skips everything else: "41 42" and "4142" give "AB",
// "a" gives 0x0A, "123" gives 0x12 0x03, "1,2" gives 0x01 0x02.
std::string HexToStr(std::string_view S);

} // namespace portwell
