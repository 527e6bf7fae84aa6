#include "cli/CommandLine.h"

#include "serial/SettingNames.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <string_view>
#include <type_traits>
#include <utility>

namespace cli {

using namespace portwell;

namespace {

using serial::TNameKind;

// A port option that picks one line setting by its command-line name.
struct TSettingOption {
    TPortList List;
    std::string_view ShortName; // empty when there is none
    std::string_view LongName;
    std::string_view Placeholder;
    serial::TSettingNames (*Names)();
    void (*Set)(TPortSettings& port, int ordinal);
    int (*Get)(const TPortSettings& port);

    bool Matches(std::string_view arg) const {
        return arg == LongName || (!ShortName.empty() && arg == ShortName);
    }
};

template <auto Field>
constexpr TSettingOption SettingOption(TPortList list, std::string_view shortName,
                                       std::string_view longName, std::string_view placeholder) {
    using E = std::remove_cvref_t<decltype(std::declval<TPortSettings&>().*Field)>;
    return {list,
            shortName,
            longName,
            placeholder,
            &serial::SettingNames<E>,
            [](TPortSettings& port, int ordinal) { port.*Field = E(ordinal); },
            [](const TPortSettings& port) { return int(port.*Field); }};
}

constexpr TSettingOption SettingOptions[] = {
    SettingOption<&TPortSettings::BaudRate>(plBaudRate, "-b", "--baud", "RATE"),
    SettingOption<&TPortSettings::Databits>(plDatabits, "", "--databits", "N"),
    SettingOption<&TPortSettings::Stopbits>(plStopbits, "", "--stopbits", "N"),
    SettingOption<&TPortSettings::Parity>(plParity, "", "--parity", "P"),
    SettingOption<&TPortSettings::FlowControl>(plFlowControl, "", "--flow", "F"),
};

// "none, odd, even, mark, space": the values an option takes, for an error message.
std::string AllowedValues(const serial::TSettingNames& names) {
    std::string text;
    for (const serial::TSettingName& row : names.All())
        (text += text.empty() ? "" : ", ") += row.Option;
    return text;
}

// More would only run out of file descriptors and processes.
constexpr int MaxJobs = 1024;

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
        const auto command = CommandNamed(args[0]);
        if (!command)
            return Fail("unknown command '" + args[0] +
                        "' (run, record, ports, macros, export or import)");
        line.Command = *command;
        for (i = 1; i < args.size(); ++i)
            if (!Option()) return std::nullopt;
        if (const std::string missing = MissingArgument(); !missing.empty()) return Fail(missing);
        return line;
    }

private:
    static std::optional<TCommand> CommandNamed(const std::string& name) {
        const std::pair<const char*, TCommand> commands[] = {
            {"run", TCommand::Run},       {"record", TCommand::Record},
            {"ports", TCommand::Ports},   {"macros", TCommand::Macros},
            {"export", TCommand::Export}, {"import", TCommand::Import}};
        for (const auto& [commandName, command] : commands)
            if (name == commandName) return command;
        return std::nullopt;
    }

    std::string MissingArgument() const {
        switch (line.Command) {
        case TCommand::Run:
            if (line.MacroFile.empty() == line.StoredMacro.empty())
                return "run needs either a MACRO_FILE (or - for standard input) or --macro "
                       "TITLE|NUMBER";
            return "";
        case TCommand::Record:
            return line.Devices.size() > 1 ? "record takes one device (-d)" : "";
        case TCommand::Export:
            return line.ExportDir.empty() ? "export needs the DIR to write the macros to" : "";
        case TCommand::Import:
            return line.ImportFiles.empty() ? "import needs at least one FILE" : "";
        default:
            return "";
        }
    }

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
        if (arg == "--settings") {
            std::string value;
            if (!Value(value)) return false;
            line.SettingsFile = value;
            return true;
        }
        if (UsesPort() && PortOption(arg)) return error.empty();
        if (UsesPort() && LogOption(arg)) return error.empty();
        switch (line.Command) {
        case TCommand::Run:
            return RunOption(arg);
        case TCommand::Record:
            return RecordOption(arg);
        case TCommand::Export:
            return ExportOption(arg);
        case TCommand::Import:
            return ImportOption(arg);
        default:
            return Unexpected(arg);
        }
    }

    bool UsesPort() const {
        return line.Command == TCommand::Run || line.Command == TCommand::Record;
    }

    bool Unexpected(const std::string& arg) {
        error = "unexpected argument '" + arg + "'";
        return false;
    }

    bool IsOperand(const std::string& arg) const { return arg == "-" || arg[0] != '-'; }

    bool ExportOption(const std::string& arg) {
        if (!IsOperand(arg) || !line.ExportDir.empty()) return Unexpected(arg);
        line.ExportDir = arg;
        return true;
    }

    bool ImportOption(const std::string& arg) {
        if (arg == "--replace")
            line.Replace = true;
        else if (IsOperand(arg))
            line.ImportFiles.push_back(arg);
        else
            return Unexpected(arg);
        return true;
    }

    // True when `arg` is a port option; `error` then tells whether its value was good.
    bool PortOption(const std::string& arg) {
        std::string value;
        if (arg == "-d" || arg == "--device") {
            if (Value(value)) {
                line.Port.DeviceName = value;
                line.Devices.push_back(value);
            }
            line.PortGiven[plDeviceName] = true;
            return true;
        }
        for (const TSettingOption& option : SettingOptions) {
            if (!option.Matches(arg)) continue;
            if (Value(value)) SetSetting(option, arg, value);
            line.PortGiven[option.List] = true;
            return true;
        }
        return false;
    }

    // True when `arg` is an option of the traffic log; `error` then tells whether it was good.
    bool LogOption(const std::string& arg) {
        if (arg == "--timestamps") {
            line.Timestamps = true;
            return true;
        }
        if (arg != "--log") return false;
        std::string value;
        if (Value(value) && value.empty()) error = "--log needs a name";
        line.LogPath = value;
        return true;
    }

    void SetSetting(const TSettingOption& option, const std::string& arg,
                    const std::string& value) {
        const serial::TSettingNames names = option.Names();
        if (const std::optional<int> ordinal = names.Find(TNameKind::Option, value))
            option.Set(line.Port, *ordinal);
        else
            error = arg + ": '" + value + "' is not one of " + AllowedValues(names);
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
        } else if (arg == "--macro") {
            if (!Value(value)) return false;
            if (value.empty()) {
                error = "--macro needs a title or a number";
                return false;
            }
            line.StoredMacro = value;
        } else if (IsOperand(arg) && line.MacroFile.empty()) {
            line.MacroFile = arg;
        } else {
            return StationOption(arg);
        }
        return true;
    }

    bool StationOption(const std::string& arg) {
        std::string* text = arg == "--devices"      ? &line.DevicesFile
                            : arg == "--junit"      ? &line.JUnitFile
                            : arg == "--macro-name" ? &line.MacroName
                                                    : nullptr;
        if (text) {
            if (!Value(*text)) return false;
            if (!text->empty()) return true;
            error = arg + " needs a name";
            return false;
        }
        std::string value;
        if (arg == "--jobs") {
            const auto jobs = Value(value) ? Count(arg, value, MaxJobs) : std::nullopt;
            if (jobs) line.Jobs = *jobs;
            return jobs.has_value();
        }
        if (arg == "--verdict-fd") {
            const auto fd = Value(value) ? Count(arg, value, INT_MAX) : std::nullopt;
            if (fd) line.VerdictFd = *fd;
            return fd.has_value();
        }
        return Unexpected(arg);
    }

    std::optional<int> Count(const std::string& option, const std::string& value, int most) {
        int count = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), count);
        if (ec == std::errc() && end == value.data() + value.size() && count >= 1 && count <= most)
            return count;
        error = option + ": '" + value + "' is not a number from 1 to " + std::to_string(most);
        return std::nullopt;
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
        return Unexpected(arg);
    }

    const std::vector<std::string>& args;
    std::string& error;
    TCommandLine line;
    size_t i = 0;
};

} // namespace

TPortSettings TCommandLine::PortOver(const TPortSettings& base) const {
    TPortSettings settings = base;
    if (PortGiven[plDeviceName]) settings.DeviceName = Port.DeviceName;
    for (const TSettingOption& option : SettingOptions)
        if (PortGiven[option.List]) option.Set(settings, option.Get(Port));
    return settings;
}

bool TCommandLine::StationRun() const {
    return Devices.size() > 1 || !DevicesFile.empty() || Jobs || !JUnitFile.empty();
}

std::vector<std::string> LineSettingArguments(const TPortSettings& port) {
    std::vector<std::string> arguments;
    for (const TSettingOption& option : SettingOptions) {
        const serial::TSettingName* name = option.Names().At(option.Get(port));
        if (!name) continue;
        arguments.emplace_back(option.LongName);
        arguments.emplace_back(name->Option);
    }
    return arguments;
}

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             std::string& error) {
    error.clear();
    return Parser(args, error).Parse();
}

namespace {

const char* const UsageHead = R"(Usage:
  portwell-cli run [port options] [log options] [--loop] [--interval MS] [-D NAME]... MACRO_FILE
  portwell-cli run [port options] [log options] [--loop] [--interval MS] [-D NAME]...
                   --macro TITLE|NUMBER
  portwell-cli run -d NAME -d NAME...|--devices FILE [--jobs N] [--junit FILE] [--log DIR]
                   [other run options] MACRO_FILE|--macro TITLE|NUMBER
  portwell-cli record [port options] [log options] [--duration MS] [-o FILE]
  portwell-cli ports
  portwell-cli macros
  portwell-cli export DIR
  portwell-cli import [--replace] FILE...
Every command also takes --settings FILE, the settings file that holds the stored macros.

run     Runs the macro in MACRO_FILE (- reads it from standard input) once, or again and
        again with --loop, pausing --interval milliseconds between passes (default 1000),
        until interrupted. -D NAME defines NAME for IsDefine. Every traffic-log line goes to
        standard output as it is logged. --macro runs a stored macro, found by its title
        (the first of that title) or by its number in the list of macros; the port settings
        stored with the macros apply unless a port option says otherwise.
        Several devices (-d given more than once, or --devices FILE with one name per line)
        make a station run: the macro runs on every device at once, each in a process of its
        own (--jobs N at most at once); every line starts with its device, as
        "[ttyUSB3] Com_SD:41"; a summary table ends it. --junit FILE writes a JUnit report,
        --log DIR one log file per device (DIR/ttyUSB3.log). Ctrl-C stops every device
        and still reports.
record  Records what the device sends as a macro that replays it: a ComWriteHex line for
        every chunk of bytes, a Sleep line for every gap of more than 20 ms. Ends after
        --duration milliseconds or on Ctrl-C, then writes the macro to FILE or to standard
        output (the Rec_RD: log lines then go to standard error).
ports   Lists the serial devices found: the path, a tab, a description.
macros  Lists the stored macros: the number, a tab, the title.
export  Writes each stored macro to DIR/TITLE.ksl and prints the paths written.
import  Adds each FILE as a stored macro titled by the file's name without its extension;
        with --replace it replaces the first macro of that title instead.

Log options, for run and record:
  --log FILE          Appends every traffic-log line to FILE as it is logged, after its date
                      and time to the millisecond (2024-05-01T14:03:07.250+02:00), with the
                      data in hexadecimal. A FILE that cannot be opened is a usage error.
                      In a station run it names a folder, with such a file per device that
                      also holds the device's standard-error lines.
  --timestamps        Prints the same date and time before each traffic-log line.

The settings file is the one the desktop program uses: portwell.ini beside the programs when
that folder is writable, else $XDG_CONFIG_HOME/portwell/portwell.ini; $PORTWELL_SETTINGS or
--settings name another. Only import changes it, and not while the desktop program runs.

Port options:
  -d, --device NAME   COM1 to COM8 (/dev/ttyS0 to /dev/ttyS7), a device path such as
                      /dev/ttyUSB0, loop:// (a built-in device that echoes), or a device on
                      the network: tcp://HOST:PORT (raw bytes) or rfc2217://HOST:PORT (a
                      port server such as ser2net, which takes the line settings too)   [COM1]
)";

const char* const UsageTail =
    R"(Exit status: 0 the macro finished (or the recording ended), 1 a script error or a Fail
(its message is the last line of standard error, and the line before it says where:
FILE:LINE: STATEMENT), 2 a usage error, 3 the port could not be opened,
4 the settings file could not be read, written or locked, 130 interrupted by Ctrl-C or
SIGTERM. A station run exits with 0 when every device passed, else the worst of 1 and 3.

Example: send a request and wait one second for the reply, over the echoing loop:// device
  printf "ComWrite('PING'#13);\nif ComWait('PING'#13, 1000) then Print('echoed');\n" |
    portwell-cli run -d loop:// -
)";

// Option names start in this column, the values' names in the next, and the default sits in the
// last, behind the values' last line.
constexpr size_t ValuesColumn = 22, DefaultColumn = 81, LineWidth = 84;

std::string PaddedTo(std::string text, size_t column) {
    text.resize(std::max(column, text.size() + 1), ' ');
    return text;
}

std::string Label(const TSettingOption& option) {
    std::string label = "  ";
    if (!option.ShortName.empty()) label += std::string(option.ShortName) + ", ";
    return label + std::string(option.LongName) + " " + std::string(option.Placeholder);
}

// The option, the names of its values wrapped into lines, and its default.
std::string SettingUsage(const TSettingOption& option) {
    const serial::TSettingNames names = option.Names();
    std::string text, current = PaddedTo(Label(option), ValuesColumn);
    std::string_view separator;
    for (const serial::TSettingName& row : names.All()) {
        if (!separator.empty() && current.size() + 1 + row.Option.size() > LineWidth) {
            text += current + "\n";
            current.assign(ValuesColumn, ' ');
            separator = {};
        }
        (current += separator) += row.Option;
        separator = " ";
    }
    const std::string_view preset = names.At(option.Get(TPortSettings{}))->Option;
    return text + PaddedTo(current, DefaultColumn) + "[" + std::string(preset) + "]\n";
}

} // namespace

std::string UsageText() {
    std::string text = UsageHead;
    for (const TSettingOption& option : SettingOptions)
        text += SettingUsage(option);
    return text + "\n" + UsageTail;
}

} // namespace cli
