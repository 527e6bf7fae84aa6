// HexToStr and StrToHex on any input. Hexadecimal text of any bytes reads back as those bytes,
// with two digits a byte and one blank between; reading never yields more bytes than digits.
#include "portwell/HexText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "hex_text: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string hex = portwell::StrToHex(input);
    if (hex.size() != (size == 0 ? 0 : 3 * size - 1)) Fail("the hex text has the wrong length");
    if (portwell::HexToStr(hex) != input) Fail("the hex text reads back different");
    if (portwell::HexToStr(input).size() > size) Fail("reading gave more bytes than digits");
    return 0;
}
