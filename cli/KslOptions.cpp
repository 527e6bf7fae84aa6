#include "cli/KslOptions.h"

namespace cli {

namespace {

// A count of bytes: digits, then K, M or G for kibi-, mebi- or gibibytes.
std::optional<size_t> ByteCount(const std::string& text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 12 || text.size() > digits + 1) return std::nullopt;
    size_t bytes = std::stoull(text.substr(0, digits));
    if (text.size() > digits) {
        const char unit = text[digits];
        const int shift = unit == 'K' || unit == 'k'   ? 10
                          : unit == 'M' || unit == 'm' ? 20
                          : unit == 'G' || unit == 'g' ? 30
                                                       : -1;
        if (shift < 0) return std::nullopt;
        bytes <<= shift;
    }
    return bytes;
}

} // namespace

std::optional<KslOptions> ParseKslArguments(const std::vector<std::string>& args,
                                            std::string& error) {
    KslOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--vars") {
            options.vars = true;
        } else if (arg == "--no-cache") {
            options.noCache = true;
        } else if (arg == "--no-compile") {
            options.noCompile = true;
        } else if (arg == "--max-string" && hasValue) {
            options.maxString = ByteCount(args[++i]);
            if (!options.maxString) {
                error = "--max-string wants a number of bytes, such as 65536, 64K or 1G";
                return std::nullopt;
            }
        } else if (arg == "-D" && hasValue) {
            options.defines.push_back(args[++i]);
        } else if (arg == "-e" && hasValue && !options.text) {
            options.text = args[++i];
        } else if ((arg == "-" || !arg.starts_with('-')) && !options.file) {
            options.file = arg;
        } else {
            error = "unexpected argument '" + arg + "'";
            return std::nullopt;
        }
    }
    if (!options.help && options.file.has_value() == options.text.has_value()) {
        error = "give exactly one of FILE, - or -e TEXT";
        return std::nullopt;
    }
    return options;
}

} // namespace cli
