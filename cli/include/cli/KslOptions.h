#pragma once
// The command line of ksl.
#include "kestrel/Kestrel.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct KslOptions {
    std::optional<std::string> file; // "-" for standard input
    std::optional<std::string> text;
    ksl::TStrings defines;
    bool vars = false;
    bool noCache = false;
    bool noCompile = false;
    std::optional<size_t> maxString; // bytes
    bool help = false;
};

// Parses the arguments after the program name. On a usage error returns nothing and sets
// `error` to the reason.
std::optional<KslOptions> ParseKslArguments(const std::vector<std::string>& args,
                                            std::string& error);

} // namespace cli
