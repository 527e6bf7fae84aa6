#pragma once
#include "kestrel/Kestrel.h"

#include <string>
#include <string_view>

namespace ksl {

// The message with `arg` in place of its "%s".
std::string FormatMessage(std::string_view message, std::string_view arg);

[[noreturn]] void Fail(std::string_view message, std::string_view arg = {});

} // namespace ksl
