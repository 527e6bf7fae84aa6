#pragma once
// Reading a script's lines, as both command-line programs take them.
#include "kestrel/Kestrel.h"

#include <istream>
#include <optional>
#include <string>

namespace cli {

// The lines of a text; a carriage return before a line break is dropped.
ksl::TStrings ReadScriptLines(std::istream& in);

// The lines of a file, or of standard input for "-"; nothing when the file cannot be read.
std::optional<ksl::TStrings> ReadScriptFile(const std::string& path);

} // namespace cli
