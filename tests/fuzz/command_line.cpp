// The command-line parsers of ksl and portwell-cli on any arguments. The first byte picks the
// program (even: ksl, odd: portwell-cli); the rest are the arguments, separated by NUL bytes.
// A refused command line says why; an accepted one holds what its program relies on.
#include "Pieces.h"
#include "cli/CommandLine.h"
#include "cli/KslOptions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "command_line: %s\n", what);
    std::abort();
}

void CheckKsl(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<cli::KslOptions> options = cli::ParseKslArguments(args, error);
    if (!options) {
        if (error.empty()) Fail("ksl refused arguments without a reason");
        return;
    }
    if (!options->help && options->file.has_value() == options->text.has_value())
        Fail("ksl accepted arguments without exactly one script");
}

bool IsMilliseconds(int64_t ms) {
    return ms >= 0 && ms <= int64_t(UINT32_MAX);
}

void CheckPortwellCli(const std::vector<std::string>& args) {
    using namespace cli;
    std::string error;
    const std::optional<TCommandLine> line = ParseCommandLine(args, error);
    if (!line) {
        if (error.empty()) Fail("portwell-cli refused arguments without a reason");
        return;
    }
    if (line->Command == TCommand::Run && line->MacroFile.empty() == line->StoredMacro.empty())
        Fail("portwell-cli accepted run without exactly one macro file or stored macro");
    if (!IsMilliseconds(line->IntervalMs)) Fail("the interval is out of range");
    if (line->DurationMs && !IsMilliseconds(*line->DurationMs))
        Fail("the duration is out of range");
    if (line->Jobs && (*line->Jobs < 1 || *line->Jobs > 1024))
        Fail("the job count is out of range");
    if (line->Command == TCommand::Record && line->Devices.size() > 1)
        Fail("portwell-cli accepted record on more than one device");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::vector<std::string> args =
        Pieces(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), '\0');
    if (data[0] % 2 == 0)
        CheckKsl(args);
    else
        CheckPortwellCli(args);
    return 0;
}
