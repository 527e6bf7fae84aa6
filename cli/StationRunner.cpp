#include "StationRunner.h"

#include "cli/JUnitReport.h"
#include "cli/Station.h"
#include "cli/TerminalText.h"
#include "portwell/LogFile.h"
#include "portwell/LogText.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
using portwell::TLogClock;
using portwell::TLogFile;
using portwell::TLogTime;
using portwell::TPortSettings;

constexpr int exitUsage = 2;
// What the report keeps of each device's output; a long loop drops its oldest lines.
constexpr size_t OutputBudget = 1 << 20, ErrorBudget = 256 << 10;
// A line longer than this is printed in pieces rather than held without end.
constexpr size_t LongestLine = 64 << 10;
// How long the runs get to stop after the first signal before they are killed.
constexpr auto StopGrace = std::chrono::seconds(10);
// The descriptor on which every device's run reports its verdict.
constexpr int VerdictDescriptor = 3;

class EStationSetup : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Reason() {
    return std::strerror(errno);
}

// --- signals: the first stops every run, a second one kills them; the report comes either way --

std::atomic<int> signalsReceived{0};
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    signalsReceived.fetch_add(1);
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

class StationSignals {
public:
    StationSignals() {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            throw EStationSetup("cannot watch for signals: " + Reason());
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaction(signal, &action, nullptr);
        // A run's pipe that closes early must not end the station.
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~StationSignals() {
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(signal, SIG_DFL);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
    }
    StationSignals(const StationSignals&) = delete;
    StationSignals& operator=(const StationSignals&) = delete;

    int Descriptor() const { return signalPipe[0]; }
    int Count() {
        char bytes[64];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {}
        return signalsReceived.load();
    }
};

// --- one device's run --------------------------------------------------------------------------

// Cuts a stream of bytes into lines; a line longer than LongestLine comes in pieces.
class TLineSplitter {
public:
    template <class Emit> void Feed(std::string_view bytes, Emit emit) {
        for (;;) {
            const size_t end = bytes.find('\n');
            if (end == std::string_view::npos) break;
            partial.append(bytes.substr(0, end));
            emit(partial);
            partial.clear();
            bytes.remove_prefix(end + 1);
        }
        partial.append(bytes);
        while (partial.size() > LongestLine) {
            emit(partial.substr(0, LongestLine));
            partial.erase(0, LongestLine);
        }
    }
    template <class Emit> void Finish(Emit emit) {
        if (!partial.empty()) emit(partial);
        partial.clear();
    }

private:
    std::string partial;
};

void CloseDescriptor(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

struct TPipe {
    int read = -1, write = -1;
    TPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw EStationSetup("cannot make a pipe: " + Reason());
        read = fds[0];
        write = fds[1];
    }
    ~TPipe() {
        CloseDescriptor(read);
        CloseDescriptor(write);
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;
    int TakeRead() { return std::exchange(read, -1); }
    int TakeWrite() { return std::exchange(write, -1); }
};

struct TRunningDevice {
    size_t index = 0;
    pid_t pid = -1;
    int input = -1, output = -1, errors = -1, verdict = -1; // the station's ends
    size_t inputWritten = 0;
    TLineSplitter outputLines, errorLines;
    std::string verdictText;
    Clock::time_point start;
    bool stopAsked = false;

    ~TRunningDevice() {
        for (int* fd : {&input, &output, &errors, &verdict})
            CloseDescriptor(*fd);
    }
};

// In the child between fork and exec: only calls that are safe there.
void MoveDescriptor(int from, int to) {
    if (from == to)
        ::fcntl(to, F_SETFD, 0);
    else
        ::dup2(from, to);
}

[[noreturn]] void ExecRun(pid_t station, int input, int output, int errors, int verdict,
                          char* const* argv) {
    // A run must not outlive a station that was killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != station) ::_exit(127);
    // Its own process group: a Ctrl-C in the terminal reaches the station alone, which stops
    // every run once.
    ::setpgid(0, 0);
    MoveDescriptor(input, STDIN_FILENO);
    MoveDescriptor(output, STDOUT_FILENO);
    MoveDescriptor(errors, STDERR_FILENO);
    MoveDescriptor(verdict, VerdictDescriptor);
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    ::sigaction(SIGPIPE, &deflt, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv("/proc/self/exe", argv);
    ::_exit(127);
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// --- the station -------------------------------------------------------------------------------

std::string LocalTimeNow() {
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        throw EStationSetup("cannot read the device list '" + path + "'");
    return text.str();
}

std::vector<std::string> StationDevices(const TCommandLine& line, const TPortSettings& port) {
    std::vector<std::string> devices = line.Devices;
    if (!line.DevicesFile.empty()) {
        const std::vector<std::string> listed = ParseDeviceList(ReadTextFile(line.DevicesFile));
        if (listed.empty())
            throw EStationSetup("the device list '" + line.DevicesFile + "' names no device");
        devices.insert(devices.end(), listed.begin(), listed.end());
    }
    if (devices.empty()) devices.push_back(port.DeviceName);
    return devices;
}

// Fails before any device runs when the report could not be written in the end.
void CheckReportWritable(const std::string& path) {
    std::string probe = path + ".XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) throw EStationSetup("cannot write the report '" + path + "': " + Reason());
    ::close(fd);
    ::unlink(probe.c_str());
}

// Every run has a descriptor for each of four pipes; many devices need more than the usual 1024.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::string MacroText(const ksl::TStrings& macro) {
    std::string text;
    for (const std::string& line : macro)
        (text += line) += '\n';
    return text;
}

// What every device's run is told besides its device: how to report, how the macro is named,
// and the run's options that the station resolved.
std::vector<std::string> RunArguments(const TCommandLine& line, const TPortSettings& port,
                                      const std::string& macroName) {
    std::vector<std::string> arguments{"run", "--verdict-fd", std::to_string(VerdictDescriptor),
                                       "--macro-name", macroName};
    for (const std::string& argument : LineSettingArguments(port))
        arguments.push_back(argument);
    for (const std::string& name : line.Defines)
        arguments.insert(arguments.end(), {"-D", name});
    if (line.Loop)
        arguments.insert(arguments.end(),
                         {"--loop", "--interval", std::to_string(line.IntervalMs)});
    return arguments;
}

class TStation {
public:
    TStation(const TCommandLine& line, const ksl::TStrings& macro, const TPortSettings& port,
             const std::string& macroName)
        : line(line), macroText(MacroText(macro)),
          commonArguments(RunArguments(line, port, macroName)) {
        results.Macro = macroName;
        AddDevices(StationDevices(line, port));
        jobs = size_t(line.Jobs.value_or(int(results.Devices.size())));
        if (!line.JUnitFile.empty()) CheckReportWritable(line.JUnitFile);
        if (!line.LogPath.empty()) OpenLogs();
    }

    int Run() {
        RaiseDescriptorLimit();
        StationSignals signalsSeen;
        signals = &signalsSeen;
        results.StartedAt = LocalTimeNow();
        const Clock::time_point start = Clock::now();
        while (next < results.Devices.size() || !running.empty()) {
            StartWhileRoom();
            if (running.empty()) break;
            Wait();
        }
        results.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
        signals = nullptr;
        return Report();
    }

private:
    void AddDevices(const std::vector<std::string>& devices) {
        const std::vector<std::string> labels = DeviceLabels(devices);
        for (size_t i = 0; i < devices.size(); ++i) {
            TDeviceResult& result = results.Devices.emplace_back();
            result.Device = devices[i];
            result.Label = labels[i];
            result.Verdict.Verdict = TVerdict::NotRun;
            outputs.emplace_back(OutputBudget);
            errors.emplace_back(ErrorBudget);
        }
    }

    void OpenLogs() {
        std::error_code failed;
        std::filesystem::create_directories(line.LogPath, failed);
        if (failed)
            throw EStationSetup("cannot make the log folder '" + line.LogPath +
                                "': " + failed.message());
        std::set<std::string> names;
        for (const TDeviceResult& device : results.Devices) {
            std::string name = LabelFileName(device.Label);
            for (int n = 2; !names.insert(name).second; ++n)
                name = LabelFileName(device.Label) + "-" + std::to_string(n);
            const std::string path = (std::filesystem::path(line.LogPath) / (name + ".log"));
            try {
                logs.push_back(std::make_unique<TLogFile>(path));
            } catch (const portwell::ELogFile& e) {
                throw EStationSetup(e.what());
            }
        }
    }

    void StartWhileRoom() {
        while (next < results.Devices.size() && running.size() < jobs && !Stopping())
            Start(next++);
    }

    bool Stopping() const { return signalCount > 0; }

    std::vector<std::string> Arguments(size_t index) const {
        std::vector<std::string> arguments{"portwell-cli"};
        arguments.insert(arguments.end(), commonArguments.begin(), commonArguments.end());
        arguments.insert(arguments.end(), {"-d", results.Devices[index].Device, "-"});
        return arguments;
    }

    void Start(size_t index) {
        auto device = std::make_unique<TRunningDevice>();
        device->index = index;
        device->start = Clock::now();
        try {
            Spawn(*device);
        } catch (const EStationSetup& e) {
            Finish(index, {TVerdict::Error, e.what(), 0, ""}, 0);
            return;
        }
        running.push_back(std::move(device));
    }

    void Spawn(TRunningDevice& device) {
        TPipe input, output, errors, verdict;
        const std::vector<std::string> arguments = Arguments(device.index);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const pid_t station = ::getpid();
        std::cout.flush();
        const pid_t pid = ::fork();
        if (pid < 0) throw EStationSetup("cannot start a run for the device: " + Reason());
        if (pid == 0)
            ExecRun(station, input.read, output.write, errors.write, verdict.write, argv.data());
        device.pid = pid;
        device.input = input.TakeWrite();
        device.output = output.TakeRead();
        device.errors = errors.TakeRead();
        device.verdict = verdict.TakeRead();
        for (int fd : {device.input, device.output, device.errors, device.verdict})
            SetNonBlocking(fd);
    }

    // Blocks until a run has something to say, wants more of the macro, or ends, or a signal
    // comes; then serves it.
    void Wait() {
        std::vector<pollfd> fds = PollSet();
        // Nothing fails here but for a lack of memory; then only try again a little later.
        if (::poll(fds.data(), fds.size(), PollTimeout()) < 0 && errno != EINTR)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ServeSignals();
        for (size_t i = 0; i < running.size();) {
            const pollfd* f = &fds[1 + 4 * i];
            TRunningDevice& device = *running[i];
            if (f[0].revents) ReadOutput(device, device.output, false);
            if (f[1].revents) ReadOutput(device, device.errors, true);
            if (f[3].revents) WriteInput(device);
            if (f[2].revents && ReadVerdict(device)) {
                End(i);
                // In step again: the next device's four entries move to where this one's were.
                fds.erase(fds.begin() + ptrdiff_t(1 + 4 * i), fds.begin() + ptrdiff_t(5 + 4 * i));
                continue;
            }
            ++i;
        }
        std::cout.flush();
        std::cerr.flush();
    }

    // The signal pipe, then four descriptors per running device; a closed one (-1) is skipped.
    std::vector<pollfd> PollSet() const {
        std::vector<pollfd> fds{{signals->Descriptor(), POLLIN, 0}};
        for (const auto& device : running) {
            fds.push_back({device->output, POLLIN, 0});
            fds.push_back({device->errors, POLLIN, 0});
            fds.push_back({device->verdict, POLLIN, 0});
            fds.push_back({device->input, POLLOUT, 0});
        }
        return fds;
    }

    int PollTimeout() const {
        if (!killAt) return -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*killAt - Clock::now());
        return int(std::max<int64_t>(0, left.count()));
    }

    void ServeSignals() {
        const int count = signals->Count();
        if (count > signalCount && signalCount == 0) {
            for (const auto& device : running)
                SignalRun(*device, SIGTERM);
            killAt = Clock::now() + StopGrace;
        }
        signalCount = count;
        if (signalCount > 1 || (killAt && Clock::now() >= *killAt)) {
            for (const auto& device : running)
                SignalRun(*device, SIGKILL);
            // Killed runs end at once; nothing is left to wait for but their ends.
            killAt.reset();
        }
    }

    static void SignalRun(TRunningDevice& device, int signal) {
        device.stopAsked = true;
        ::kill(device.pid, signal);
    }

    void WriteInput(TRunningDevice& device) {
        while (device.inputWritten < macroText.size()) {
            const ssize_t n = ::write(device.input, macroText.data() + device.inputWritten,
                                      macroText.size() - device.inputWritten);
            if (n > 0) {
                device.inputWritten += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;
            break; // the run closed its input: it has ended or will tell why
        }
        CloseDescriptor(device.input);
    }

    // Takes what the pipe holds, but no more than twice its size at a time, so that a run that
    // prints without pause cannot keep the station from the others.
    void ReadOutput(TRunningDevice& device, int& fd, bool isError) {
        char buffer[16384];
        for (int reads = 0; reads < 8;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                Feed(device, std::string_view(buffer, size_t(n)), isError);
                ++reads;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // Nothing more now (EAGAIN); at the end of the stream, or on an error, no more ever.
            if (n == 0 || errno != EAGAIN) CloseDescriptor(fd);
            return;
        }
    }

    void Feed(TRunningDevice& device, std::string_view bytes, bool isError) {
        const auto emit = [&](const std::string& text) { Line(device.index, text, isError); };
        (isError ? device.errorLines : device.outputLines).Feed(bytes, emit);
    }

    // A device's line goes out whole, with the device in front, and into its log and report. Its
    // time is when the station took it in, a pipe's hop after the run logged it.
    void Line(size_t index, const std::string& text, bool isError) {
        const TDeviceResult& device = results.Devices[index];
        const TLogTime time = TLogClock::now();
        std::ostream& out = isError ? std::cerr : std::cout;
        out << '[' << device.Label << "] ";
        if (line.Timestamps && !isError) out << portwell::IsoTimeStamp(time) << ' ';
        out << text << '\n';
        Keep(index, text, time);
        (isError ? errors : outputs)[index].Add(text);
    }

    // A log file that stops taking lines is told of once; the run and the other logs go on.
    void Keep(size_t index, const std::string& text, TLogTime time) {
        if (logs.empty() || !logs[index]) return;
        try {
            logs[index]->Write(text, time);
        } catch (const portwell::ELogFile& e) {
            std::cerr << "portwell-cli: " << TerminalText(e.what()) << "; no more lines go to it\n";
            logs[index].reset();
        }
    }

    // True once the run has closed its verdict descriptor, which it does only by ending: the
    // descriptor is closed for whatever the macro starts in turn.
    bool ReadVerdict(TRunningDevice& device) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(device.verdict, buffer, sizeof buffer);
            if (n > 0) {
                device.verdictText.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return !(n < 0 && errno == EAGAIN);
        }
    }

    void End(size_t i) {
        std::unique_ptr<TRunningDevice> device = std::move(running[i]);
        running.erase(running.begin() + ptrdiff_t(i));
        int status = 0;
        while (::waitpid(device->pid, &status, 0) < 0 && errno == EINTR) {}
        // What the run printed last is in the pipes by now; whatever it started may hold them
        // open, so take what is there and no more.
        if (device->output >= 0) ReadOutput(*device, device->output, false);
        if (device->errors >= 0) ReadOutput(*device, device->errors, true);
        device->outputLines.Finish([&](const std::string& t) { Line(device->index, t, false); });
        device->errorLines.Finish([&](const std::string& t) { Line(device->index, t, true); });
        const double seconds = std::chrono::duration<double>(Clock::now() - device->start).count();
        Finish(device->index, VerdictOf(*device, status), seconds);
    }

    static TDeviceVerdict VerdictOf(const TRunningDevice& device, int status) {
        if (const auto verdict = DecodeVerdict(device.verdictText)) return *verdict;
        if (device.stopAsked) return {TVerdict::Interrupted, "", 0, ""};
        if (WIFSIGNALED(status))
            return {TVerdict::Error,
                    "the run ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                        strsignal(WTERMSIG(status)) + ")",
                    0, ""};
        return {TVerdict::Error,
                "the run ended without a verdict (exit status " +
                    std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")",
                0, ""};
    }

    void Finish(size_t index, TDeviceVerdict verdict, double seconds) {
        TDeviceResult& device = results.Devices[index];
        device.Verdict = std::move(verdict);
        device.Seconds = seconds;
        device.Output = outputs[index].Text();
        device.Errors = errors[index].Text();
    }

    int Report() {
        std::cout << '\n' << SummaryTable(results) << std::flush;
        int status = StationExitStatus(results, Stopping());
        if (!line.JUnitFile.empty()) {
            try {
                WriteFileAtomically(line.JUnitFile, JUnitXml(results, HostName()));
            } catch (const std::exception& e) {
                std::cerr << "portwell-cli: " << TerminalText(e.what()) << '\n';
                status = std::max(status, exitUsage);
            }
        }
        return status;
    }

    const TCommandLine& line;
    const std::string macroText;
    const std::vector<std::string> commonArguments;
    TStationResults results;
    std::vector<TBoundedText> outputs, errors;
    std::vector<std::unique_ptr<TLogFile>> logs;
    std::vector<std::unique_ptr<TRunningDevice>> running;
    size_t next = 0, jobs = 1;
    StationSignals* signals = nullptr;
    int signalCount = 0;
    std::optional<Clock::time_point> killAt;
};

} // namespace

int RunStation(const TCommandLine& line, const ksl::TStrings& macro, const TPortSettings& port,
               const std::string& macroName) {
    try {
        TStation station(line, macro, port, macroName);
        return station.Run();
    } catch (const EStationSetup& e) {
        std::cout.flush();
        std::cerr << "portwell-cli: " << TerminalText(e.what()) << std::endl;
        return exitUsage;
    }
}

} // namespace cli
