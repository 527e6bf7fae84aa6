#pragma once
// Reading a macro's lines as people save them: a byte-order mark at the start is dropped and
// CR LF line ends read as LF ends.
#include "kestrel/Kestrel.h"

#include <istream>
#include <string>

namespace portwell {

// The lines of a text; throws std::runtime_error with the reason when it cannot be read or is
// larger than any macro.
ksl::TStrings ReadMacroLines(std::istream& in);

// The lines of a file, or of standard input for "-". Throws std::runtime_error naming the file
// and the reason when it is missing, unreadable or a directory.
ksl::TStrings ReadMacroFile(const std::string& path);

// How a message names what ReadMacroFile(path) reads: the path, or "<stdin>" for "-".
std::string MacroFileName(const std::string& path);

} // namespace portwell
