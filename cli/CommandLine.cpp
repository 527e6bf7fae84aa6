#include "CommandLine.h"

#include "serial/CommTypes.h"

#include <charconv>

namespace portwell {

namespace {

const std::vector<std::string> BaudRates = {"110",   "300",   "600",    "1200",   "2400",
                                            "4800",  "9600",  "14400",  "19200",  "38400",
                                            "56000", "57600", "115200", "128000", "256000"};
const std::vector<std::string> DataBits = {"4", "5", "6", "7", "8"};
const std::vector<std::string> StopBits = {"1", "1.5", "2"};
const std::vector<std::string> Parities = {"none", "odd", "even", "mark", "space"};
const std::vector<std::string> Flows = {"none", "cts", "dtr", "software", "default"};

std::string Joined(const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& v : values)
        text += (text.empty() ? "" : ", ") + v;
    return text;
}

// The position of `value` in `allowed`, which is the enumeration's ordinal.
std::optional<int> Choice(const std::string& option, const std::string& value,
                          const std::vector<std::string>& allowed, std::string& error) {
    for (size_t i = 0; i < allowed.size(); ++i)
        if (allowed[i] == value) return int(i);
    error = option + ": '" + value + "' is not one of " + Joined(allowed);
    return std::nullopt;
}

std::optional<int64_t> Milliseconds(const std::string& option, const std::string& value,
                                    std::string& error) {
    int64_t ms = -1;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (ec != std::errc() || end != value.data() + value.size() || ms < 0 || ms > UINT32_MAX) {
        error = option + ": '" + value + "' is not a number of milliseconds (0 to 4294967295)";
        return std::nullopt;
    }
    return ms;
}

class Parser {
public:
    Parser(const std::vector<std::string>& args, std::string& error) : args(args), error(error) {}

    std::optional<TCommandLine> Parse() {
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help")
            return line;
        if (args[0] == "run")
            line.Command = TCommand::Run;
        else if (args[0] == "record")
            line.Command = TCommand::Record;
        else if (args[0] == "ports")
            line.Command = TCommand::Ports;
        else
            return Fail("unknown command '" + args[0] + "' (run, record or ports)");
        for (i = 1; i < args.size(); ++i)
            if (!Option()) return std::nullopt;
        if (line.Command == TCommand::Run && line.MacroFile.empty())
            return Fail("run needs a MACRO_FILE (or - for standard input)");
        return line;
    }

private:
    std::nullopt_t Fail(const std::string& message) {
        error = message;
        return std::nullopt;
    }

    bool Value(std::string& value) {
        if (i + 1 >= args.size()) {
            error = args[i] + " needs a value";
            return false;
        }
        value = args[++i];
        return true;
    }

    bool Option() {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.Command = TCommand::Help;
            return true;
        }
        if (PortOption(arg)) return error.empty();
        if (line.Command == TCommand::Run) return RunOption(arg);
        if (line.Command == TCommand::Record) return RecordOption(arg);
        error = "unexpected argument '" + arg + "'";
        return false;
    }

    // True when `arg` is a port option; `error` then tells whether its value was good.
    bool PortOption(const std::string& arg) {
        std::string value;
        if (arg == "-d" || arg == "--device") {
            if (Value(value)) line.Port.DeviceName = value;
        } else if (arg == "-b" || arg == "--baud") {
            if (auto c = Value(value) ? Choice(arg, value, BaudRates, error) : std::nullopt)
                line.Port.BaudRate = serial::TBaudRate(*c);
        } else if (arg == "--databits") {
            if (auto c = Value(value) ? Choice(arg, value, DataBits, error) : std::nullopt)
                line.Port.Databits = serial::TDatabits(*c);
        } else if (arg == "--stopbits") {
            if (auto c = Value(value) ? Choice(arg, value, StopBits, error) : std::nullopt)
                line.Port.Stopbits = serial::TStopbits(*c);
        } else if (arg == "--parity") {
            if (auto c = Value(value) ? Choice(arg, value, Parities, error) : std::nullopt)
                line.Port.Parity = serial::TParity(*c);
        } else if (arg == "--flow") {
            if (auto c = Value(value) ? Choice(arg, value, Flows, error) : std::nullopt)
                line.Port.FlowControl = serial::TFlowControl(*c);
        } else {
            return false;
        }
        return true;
    }

    bool RunOption(const std::string& arg) {
        std::string value;
        if (arg == "--loop") {
            line.Loop = true;
        } else if (arg == "--interval") {
            auto ms = Value(value) ? Milliseconds(arg, value, error) : std::nullopt;
            if (!ms) return false;
            line.IntervalMs = *ms;
        } else if (arg == "-D") {
            if (!Value(value)) return false;
            line.Defines.push_back(value);
        } else if ((arg == "-" || arg[0] != '-') && line.MacroFile.empty()) {
            line.MacroFile = arg;
        } else {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
        return true;
    }

    bool RecordOption(const std::string& arg) {
        std::string value;
        if (arg == "--duration") {
            line.DurationMs = Value(value) ? Milliseconds(arg, value, error) : std::nullopt;
            return line.DurationMs.has_value();
        }
        if (arg == "-o") {
            if (!Value(value)) return false;
            line.OutputFile = value;
            return true;
        }
        error = "unexpected argument '" + arg + "'";
        return false;
    }

    const std::vector<std::string>& args;
    std::string& error;
    TCommandLine line;
    size_t i = 0;
};

} // namespace

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             std::string& error) {
    error.clear();
    return Parser(args, error).Parse();
}

const char* const UsageText = R"(Usage:
  portwell-cli run [port options] [--loop] [--interval MS] [-D NAME]... MACRO_FILE
  portwell-cli record [port options] [--duration MS] [-o FILE]
  portwell-cli ports

run     Runs the macro in MACRO_FILE (- reads it from standard input) once, or again and
        again with --loop, pausing --interval milliseconds between passes (default 1000),
        until interrupted. -D NAME defines NAME for IsDefine. Every traffic-log line goes to
        standard output as it is logged.
record  Records what the device sends as a macro that replays it: a ComWriteHex line for
        every chunk of bytes, a Sleep line for every gap of more than 20 ms. Ends after
        --duration milliseconds or on Ctrl-C, then writes the macro to FILE or to standard
        output (the Rec_RD: log lines then go to standard error).
ports   Lists the serial devices found: the path, a tab, a description.

Port options:
  -d, --device NAME   COM1 to COM8 (/dev/ttyS0 to /dev/ttyS7), a device path such as
                      /dev/ttyUSB0, or loop:// (a built-in device that echoes)   [COM1]
  -b, --baud RATE     110 300 600 1200 2400 4800 9600 14400 19200 38400 56000 57600
                      115200 128000 256000                                       [9600]
  --databits N        4 5 6 7 8                                                  [8]
  --stopbits N        1 1.5 2                                                    [1]
  --parity P          none odd even mark space                                   [none]
  --flow F            none cts dtr software default                              [none]

Exit status: 0 the macro finished (or the recording ended), 1 a script error (its message
is the last line of standard error), 2 a usage error, 3 the port could not be opened,
130 interrupted by Ctrl-C or SIGTERM.

Example: send a request and wait one second for the reply, over the echoing loop:// device
  printf "ComWrite('PING'#13);\nif ComWait('PING'#13, 1000) then Print('echoed');\n" |
    portwell-cli run -d loop:// -
)";

} // namespace portwell
