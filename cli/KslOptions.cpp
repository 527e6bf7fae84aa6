#include "cli/KslOptions.h"

namespace cli {

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
