#pragma once
// Fixed pieces of the settings file's layout, shared by its reader and writer.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace portwell::settings::layout {

constexpr uint8_t kResourceMarker = 0xFF; // before the resource type and before a numbered name
constexpr uint16_t kRawDataResource = 10;
constexpr uint16_t kMemoryFlags = 0x1030; // moveable, pure, discardable
constexpr size_t kLengthField = 4;
constexpr std::string_view kSignature = "TPF0";
constexpr size_t kMaxShortString = 255;
constexpr uint8_t kFlagsMark = 0xF0; // the high nibble that makes a byte an object's flags

} // namespace portwell::settings::layout
