// portwell-cli: runs and records macros against a serial device, without a window.
#include "MacroCommands.h"
#include "StationRunner.h"
#include "cli/CommandLine.h"
#include "cli/Station.h"
#include "cli/TerminalText.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "portwell/LogFile.h"
#include "portwell/LogText.h"
#include "portwell/MacroHost.h"
#include "portwell/MacroLibrary.h"
#include "portwell/RefusedSetting.h"
#include "portwell/settings/SettingsStore.h"
#include "serial/Comm.h"
#include "serial/Ports.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

using namespace cli;
using namespace portwell;
using namespace portwell::settings;

constexpr int exitOk = 0, exitScriptError = 1, exitUsage = 2, exitPortError = 3,
              exitSettingsError = 4, exitInterrupted = 130;

// Presses Stop once, from the message processing of the running activity, when a signal came or
// the deadline passed; a signal stops the activity as the Stop button does.
class StopRequests {
public:
    StopRequests(TMacroHost& host, std::optional<int64_t> durationMs)
        : host(host), durationMs(durationMs), start(platform::TickCount()) {
        platform::InterruptOnSignals();
        platform::SetMessageHook([this] { Serve(); });
        if (durationMs)
            platform::SetWaitHook([this](int timeoutMs) {
                platform::WaitForHandOverOrInterrupt(UntilDeadline(timeoutMs));
            });
    }
    ~StopRequests() {
        platform::SetMessageHook(nullptr);
        platform::SetWaitHook(nullptr);
    }
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    bool Interrupted() const { return platform::InterruptRequested(); }

private:
    void Serve() {
        platform::RunHandOvers();
        if (stopped || !(Interrupted() || DeadlinePassed())) return;
        stopped = true;
        host.Stop();
    }
    bool DeadlinePassed() const {
        return durationMs && platform::TicksSince(start) >= uint64_t(*durationMs);
    }
    // Waits end at the deadline too, so that it is seen while nothing else happens.
    int UntilDeadline(int timeoutMs) const {
        const uint64_t elapsed = platform::TicksSince(start);
        const int left = platform::WaitTimeoutMs(
            uint64_t(*durationMs) > elapsed ? uint64_t(*durationMs) - elapsed : 0);
        return timeoutMs < 0 ? left : std::min(timeoutMs, left);
    }

    TMacroHost& host;
    std::optional<int64_t> durationMs;
    uint32_t start;
    bool stopped = false;
};

// The port's message alone does not say which device failed, nor which setting it refused; the
// lines before it do, and the message stays last for scripts that read it.
int ReportPortError(const TPortSettings& port, const serial::ECommError& error) {
    const std::string path = serial::DevicePath(port.DeviceName);
    std::cout.flush();
    std::cerr << "portwell-cli: cannot open the device '" << cli::TerminalText(port.DeviceName)
              << "'";
    if (path != port.DeviceName) std::cerr << " (" << cli::TerminalText(path) << ")";
    std::cerr << '\n';
    const std::string refused = RefusedSetting(port, error, serial::TNameKind::Option);
    if (!refused.empty()) std::cerr << "portwell-cli: the device refused " << refused << '\n';
    std::cerr << cli::TerminalText(error.what()) << std::endl;
    return exitPortError;
}

// The run stops for good when the device goes away: a device plugged back in may be another
// unit or may have restarted, and a macro resumed halfway would talk to it out of step.
std::string DeviceLostAdvice(bool loop) {
    return std::string("portwell-cli: the device went away, so the ") + (loop ? "loop" : "run") +
           " stopped; start it again once the device is back";
}

// Runs `command`; a settings file that cannot be read, written or locked ends it with exit
// status 4, anything else it refuses with a usage error.
template <typename Command> int SettingsCommand(Command command) {
    try {
        command();
        return exitOk;
    } catch (const ESettingsFile& e) {
        std::cerr << "portwell-cli: " << cli::TerminalText(e.what()) << '\n';
        return exitSettingsError;
    } catch (const std::runtime_error& e) {
        std::cerr << "portwell-cli: " << cli::TerminalText(e.what()) << '\n';
        return exitUsage;
    }
}

// Where the traffic-log lines go: a stream, with their time when --timestamps asks for it, and the
// --log file. A file that stops taking lines is reported once; the run goes on, and the lines
// still reach the stream.
class TrafficOutput {
public:
    // Raises ELogFile when the --log file cannot be opened.
    explicit TrafficOutput(const TCommandLine& line) : timestamps(line.Timestamps) {
        if (!line.LogPath.empty()) file = std::make_unique<TLogFile>(line.LogPath);
    }

    void Attach(TMacroHost& host, std::ostream& stream) {
        host.Log.OnStampedLine = [this, &stream](const std::string& text, TLogTime time) {
            if (timestamps) stream << IsoTimeStamp(time) << ' ';
            stream << text << std::endl;
            Keep(text, time);
        };
    }

private:
    void Keep(const std::string& text, TLogTime time) {
        if (!file) return;
        try {
            file->Write(text, time);
        } catch (const ELogFile& e) {
            std::cerr << "portwell-cli: " << cli::TerminalText(e.what())
                      << "; no more lines go to it\n";
            file.reset();
        }
    }

    bool timestamps;
    std::unique_ptr<TLogFile> file;
};

// The --log file, opened before the port, or nothing with the error reported.
std::unique_ptr<TrafficOutput> OpenTrafficOutput(const TCommandLine& line) {
    try {
        return std::make_unique<TrafficOutput>(line);
    } catch (const ELogFile& e) {
        std::cerr << "portwell-cli: " << cli::TerminalText(e.what()) << '\n';
        return nullptr;
    }
}

// How the location of a script error names the macro: its file, or the stored macro as asked for.
std::string MacroName(const TCommandLine& line) {
    if (!line.MacroName.empty()) return line.MacroName;
    if (!line.StoredMacro.empty()) return line.StoredMacro;
    return MacroFileName(line.MacroFile);
}

// A station hears how a device's run ended on a descriptor of its own, at the very end. Programs
// the macro starts do not inherit it, so that its closing tells the station the run has ended.
class VerdictReport {
public:
    explicit VerdictReport(int fd) : fd(fd) {
        if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    void Tell(const TDeviceVerdict& verdict) const {
        if (fd < 0) return;
        const std::string text = EncodeVerdict(verdict);
        [[maybe_unused]] const ssize_t n = write(fd, text.data(), text.size());
    }

private:
    int fd;
};

// Where the macro failed and why, as the station reports it.
TDeviceVerdict FailureVerdict(const TMacroHost& host, const std::exception& e) {
    const auto* failed = dynamic_cast<const EMacroFailed*>(&e);
    return {failed ? TVerdict::Failed : TVerdict::Error, failed ? failed->Reason() : e.what(),
            host.Kestrel1.ErrorLine(), host.Kestrel1.ErrorStatement()};
}

// A failure is told on two lines: where it happened, then the message, always the last line.
void ReportFailure(const TCommandLine& line, const TMacroHost& host, const std::exception& e) {
    std::cout.flush();
    if (host.COMPort.DeviceLost()) std::cerr << DeviceLostAdvice(line.Loop) << '\n';
    const std::string location = cli::FailureLocation(MacroName(line), host.Kestrel1.ErrorLine(),
                                                      host.Kestrel1.ErrorStatement());
    if (!location.empty()) std::cerr << location << '\n';
    std::cerr << cli::TerminalText(e.what()) << std::endl;
}

struct RunEnd {
    TDeviceVerdict verdict;
    int status;
};

RunEnd RunToItsEnd(TMacroHost& host, const TCommandLine& line, const ksl::TStrings& macro,
                   const TPortSettings& port) {
    try {
        host.Run(port, &macro);
        return {{TVerdict::Passed, "", 0, ""}, exitOk};
    } catch (const serial::ECommError& e) {
        return {{TVerdict::NoPort, e.what(), 0, ""}, ReportPortError(port, e)};
    } catch (const std::exception& e) {
        ReportFailure(line, host, e);
        return {FailureVerdict(host, e), exitScriptError};
    }
}

int RunOnOneDevice(const TCommandLine& line, const ksl::TStrings& macro,
                   const TPortSettings& port) {
    const VerdictReport verdict(line.VerdictFd);
    const std::unique_ptr<TrafficOutput> output = OpenTrafficOutput(line);
    if (!output) {
        verdict.Tell({TVerdict::Error, "the log file could not be opened", 0, ""});
        return exitUsage;
    }
    TMacroHost host;
    output->Attach(host, std::cout);
    host.LoopChecked = [&line] { return line.Loop; };
    host.IntervalMs = [&line] { return line.IntervalMs; };
    host.Kestrel1.SetDefine(line.Defines);
    StopRequests stops(host, std::nullopt);
    RunEnd end = RunToItsEnd(host, line, macro, port);
    if (stops.Interrupted() && end.verdict.Verdict != TVerdict::NoPort) {
        end.verdict.Verdict = TVerdict::Interrupted;
        end.status = exitInterrupted;
    }
    verdict.Tell(end.verdict);
    return end.status;
}

int RunMacro(const TCommandLine& line) {
    ksl::TStrings macro;
    TPortSettings port = line.Port;
    const int found = SettingsCommand([&] {
        macro = line.StoredMacro.empty() ? ReadMacroFile(line.MacroFile)
                                         : cli::StoredMacroToRun(line, port);
    });
    if (found != exitOk) return found;
    if (line.StationRun()) return cli::RunStation(line, macro, port, MacroName(line));
    return RunOnOneDevice(line, macro, port);
}

// Replaces the file only once the new text is complete, so a failed write keeps the old one.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int RecordMacro(const TCommandLine& line) {
    const bool macroToStdout = line.OutputFile.empty();
    const std::unique_ptr<TrafficOutput> output = OpenTrafficOutput(line);
    if (!output) return exitUsage;
    TMacroHost host;
    output->Attach(host, macroToStdout ? std::cerr : std::cout);
    StopRequests stops(host, line.DurationMs);
    ksl::TStrings recorded;
    TActivityEnd end;
    try {
        end = host.Record(line.Port, recorded);
    } catch (const serial::ECommError& e) {
        return ReportPortError(line.Port, e);
    }
    if (end == TActivityEnd::DeviceLost)
        std::cerr << "portwell-cli: the device went away; the recording ends there\n";
    if (end == TActivityEnd::Failed)
        std::cerr << "portwell-cli: the recording failed; what it holds may be incomplete\n";
    std::string text;
    for (const std::string& l : recorded)
        text += l + "\n";
    if (macroToStdout) {
        std::cout << text << std::flush;
    } else if (!WriteFileAtomically(line.OutputFile, text)) {
        std::cerr << "portwell-cli: cannot write '" << line.OutputFile << "'\n";
        return exitUsage;
    }
    return exitOk;
}

int ListPorts() {
    for (const serial::TSerialPortInfo& port : serial::ListSerialPorts())
        std::cout << port.Path << '\t' << port.Description << '\n';
    return exitOk;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_COLLATE, "");
    std::string error;
    const auto line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!line) {
        std::cerr << "portwell-cli: " << cli::TerminalText(error) << "\n\n" << UsageText();
        return exitUsage;
    }
    switch (line->Command) {
    case TCommand::Run:
        return RunMacro(*line);
    case TCommand::Record:
        return RecordMacro(*line);
    case TCommand::Ports:
        return ListPorts();
    case TCommand::Macros:
        return SettingsCommand([&] { cli::ListMacros(*line, std::cout); });
    case TCommand::Export:
        return SettingsCommand([&] { cli::ExportMacros(*line, std::cout, std::cerr); });
    case TCommand::Import:
        return SettingsCommand([&] { cli::ImportMacros(*line, std::cout); });
    case TCommand::Help:
        std::cout << UsageText();
        return exitOk;
    }
    return exitUsage;
}
