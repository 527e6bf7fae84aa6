#include "portwell/MacroHost.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "portwell/HexText.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>
#include <variant>

namespace portwell {

namespace {

constexpr uint32_t RecordGapMs = 20;

constexpr int NoTimeLimit = -1;

// A connection reads at most this much in one call, so that a flood leaves room for the user's
// clicks between calls.
constexpr size_t ServeBytesPerCall = 256 * 1024;

const std::string& StringArgument(const ksl::TArgumentList& Argument) {
    return Argument[0].Arg.ArgString;
}

int32_t TimeOutArgument(const ksl::TArgumentList& Argument) {
    const int64_t value = Argument[1].Arg.ArgInteger;
    if (value < INT32_MIN || value > INT32_MAX)
        throw EMacroError("Range check error: TimeOut " + std::to_string(value) +
                          " is outside -2147483648..2147483647");
    return int32_t(value);
}

} // namespace

// The routines macros may call, one row each; a row's index is its place, counted from 1.
struct TMacroHost::Routines {
    using TArguments = const ksl::TArgumentList&;
    using TProcedure = void (*)(TMacroHost&, TArguments);
    using TIntFunction = int64_t (*)(TMacroHost&, TArguments);
    using TStrFunction = std::string (*)(TMacroHost&, TArguments);

    struct TRow {
        std::string_view Declaration; // the prototype up to its index
        std::variant<TProcedure, TIntFunction, TStrFunction> Handler;
    };

    static constexpr TRow Rows[] = {
        {"procedure Print(S:String)",
         TProcedure([](TMacroHost& host, TArguments a) { host.Print(StringArgument(a)); })},
        {"procedure ComWrite(S:String)",
         TProcedure([](TMacroHost& host, TArguments a) { host.ComWrite(StringArgument(a)); })},
        {"function ComRead: String",
         TStrFunction([](TMacroHost& host, TArguments) { return host.ComRead(); })},
        {"function ComWait(S:String; TimeOut: Integer): Integer",
         TIntFunction([](TMacroHost& host, TArguments a) -> int64_t {
             return host.ComWait(StringArgument(a), TimeOutArgument(a));
         })},
        {"procedure ComWriteHex(S:String)", TProcedure([](TMacroHost& host, TArguments a) {
             host.ComWrite(HexToStr(StringArgument(a)));
         })},
        {"function ComReadHex: String",
         TStrFunction([](TMacroHost& host, TArguments) { return StrToHex(host.ComRead()); })},
        {"function ComWaitHex(S:String; TimeOut: Integer): Integer",
         TIntFunction([](TMacroHost& host, TArguments a) -> int64_t {
             return host.ComWait(HexToStr(StringArgument(a)), TimeOutArgument(a));
         })},
        {"procedure Fail(Reason:String)",
         TProcedure([](TMacroHost& host, TArguments a) { host.Fail(StringArgument(a)); })},
    };
    // Added after macros were written: a macro's own variable or routine of that name wins.
    static inline const ksl::TStrings Yielding{"Fail"};

    static ksl::TStrings Prototypes() {
        ksl::TStrings lines;
        for (size_t i = 0; i < std::size(Rows); ++i)
            lines.push_back(std::string(Rows[i].Declaration) + "; index " + std::to_string(i + 1) +
                            ";");
        return lines;
    }

    // The routine of kind Handler with this index, with Err_CD set as the engine expects: 0, or
    // -1 when there is none.
    template <typename Handler> static const Handler* Find(int32_t Index, int32_t& Err_CD) {
        const Handler* routine = Index >= 1 && size_t(Index) <= std::size(Rows)
                                     ? std::get_if<Handler>(&Rows[Index - 1].Handler)
                                     : nullptr;
        Err_CD = routine ? 0 : -1;
        return routine;
    }
};

const ksl::TStrings TMacroHost::Prototypes = Routines::Prototypes();

// Marks an activity as in progress for its whole length, however it ends.
class TMacroHost::ActivityScope {
public:
    explicit ActivityScope(TMacroHost& host) : host(host) { host.activity = true; }
    ~ActivityScope() { host.activity = false; }
    ActivityScope(const ActivityScope&) = delete;
    ActivityScope& operator=(const ActivityScope&) = delete;

private:
    TMacroHost& host;
};

namespace {

// Runs Stop when an activity that has opened the port ends, however it ends.
class StopAtEnd {
public:
    explicit StopAtEnd(TMacroHost& host) : host(host) {}
    ~StopAtEnd() {
        try {
            host.Stop();
        } catch (...) {
            // Stopping only closes; a failure there must not hide the one that ended the run.
        }
    }
    StopAtEnd(const StopAtEnd&) = delete;
    StopAtEnd& operator=(const StopAtEnd&) = delete;

private:
    TMacroHost& host;
};

} // namespace

TMacroHost::TMacroHost() {
    Kestrel1.SetDeclarePrototype(Prototypes);
    Kestrel1.SetYieldingRoutines(Routines::Yielding);
    Kestrel1.ProcParam = [this](const std::string& name, int32_t index, ksl::TArgumentList& args,
                                int32_t& err) { Kestrel1ProcParam(name, index, args, err); };
    Kestrel1.IntFuncParam = [this](const std::string& name, int32_t index, ksl::TArgumentList& args,
                                   int32_t& err, int64_t& result) {
        Kestrel1IntFuncParam(name, index, args, err, result);
    };
    Kestrel1.StrFuncParam = [this](const std::string& name, int32_t index, ksl::TArgumentList& args,
                                   int32_t& err, std::string& result) {
        Kestrel1StrFuncParam(name, index, args, err, result);
    };
    Kestrel1.ErrorProc = [this](int32_t code, std::string& message) {
        Kestrel1ErrorProc(code, message);
    };
    COMPort.OnRxChar = [this](serial::TCustomComm& sender, int32_t count) {
        COMPortRxChar(sender, count);
    };
    // A hang-up is reported as a line error; a connection learns of it there.
    COMPort.OnError = [this](serial::TCustomComm&, uint32_t) { ServeConnection(); };
}

void TMacroHost::Start(const TPortSettings& settings) {
    LockSettings(true);
    // A held port serves the activity as it is: it is not reopened, and nothing queued is lost.
    if (!connected) OpenPort(settings);
}

void TMacroHost::OpenPort(const TPortSettings& settings) {
    COMPort.Close();
    input.clear();
    COMPort.SetDeviceName(settings.DeviceName);
    COMPort.SetBaudRate(settings.BaudRate);
    COMPort.SetDatabits(settings.Databits);
    COMPort.SetStopbits(settings.Stopbits);
    COMPort.SetParity(settings.Parity);
    COMPort.SetFlowControl(settings.FlowControl);
    COMPort.Open();
}

void TMacroHost::Stop() {
    Kestrel1.RequestAbort();
    stopPressed = true;
    if (!connected) {
        COMPort.Close();
        input.clear();
    }
    LockSettings(connected);
    if (OnStopped) OnStopped();
}

void TMacroHost::LockSettings(bool locked) {
    if (OnSettingsLocked) OnSettingsLocked(locked);
}

// Connecting to a network device serves messages: a Stop (or Ctrl-C) then ends the activity before
// it has begun, which is no failure.
bool TMacroHost::StartedOrStopped(const TPortSettings& settings) {
    try {
        Start(settings);
        return true;
    } catch (const serial::ECommError& failure) {
        if (failure.ErrorCode != ECANCELED) throw;
        Stop();
        return false;
    }
}

TActivityEnd TMacroHost::Run(const TPortSettings& settings, const ksl::TStrings* macro) {
    if (activity) return TActivityEnd::Refused;
    TActivityEnd end;
    try {
        end = RunPasses(settings, macro);
    } catch (...) {
        AfterActivity(false);
        throw;
    }
    AfterActivity(true);
    return end;
}

TActivityEnd TMacroHost::RunPasses(const TPortSettings& settings, const ksl::TStrings* macro) {
    ActivityScope scope(*this);
    stopPressed = false;
    if (!StartedOrStopped(settings)) return TActivityEnd::Finished;
    StopAtEnd stop(*this);
    if (!macro) return TActivityEnd::Finished;
    Kestrel1.SetSource(*macro);
    do {
        // A device that went away ends the loop; it is not run again against nothing.
        ThrowIfDeviceLost();
        ExecutePass();
        if (!LoopChecked || !LoopChecked()) break;
        PauseBetweenPasses();
    } while (!stopPressed);
    return TActivityEnd::Finished;
}

// The engine passes a host routine's exception on as its own error; one that Fail raised leaves as
// the verdict it is.
void TMacroHost::ExecutePass() {
    failReason.reset();
    try {
        Kestrel1.Execute();
    } catch (const ksl::EKestrelError&) {
        if (failReason) throw EMacroFailed(*failReason);
        throw;
    }
}

// A connection whose device went away during an activity is closed; the user hears of it from the
// activity's own failure when there was one. Otherwise what arrived meanwhile and was left unread
// is logged.
void TMacroHost::AfterActivity(bool reportLoss) {
    if (!connected) return;
    if (COMPort.DeviceLost())
        LoseConnection(reportLoss);
    else
        ServeConnectionIn(0);
}

// The interval is read anew at every check, so a change takes effect during the pause. A Stop
// ends the pause at once: the port is closed by then and nothing else is left to do. So does the
// device going away, for the next pass to end the run with that error.
void TMacroHost::PauseBetweenPasses() {
    const uint32_t tick = platform::TickCount();
    for (;;) {
        const uint32_t interval = IntervalMs ? uint32_t(IntervalMs()) : 0;
        const uint32_t elapsed = platform::TicksSince(tick);
        if (stopPressed || COMPort.DeviceLost() || interval <= elapsed) return;
        platform::WaitForMessage(platform::WaitTimeoutMs(interval - elapsed));
        platform::ProcessMessages();
    }
}

// Input arrives as a hand-over. One that came and was served since the caller last looked at the
// queue wakes nobody, so the queue is looked at once more before blocking; so is a Stop served
// meanwhile.
void TMacroHost::WaitForInput(int timeoutMs) {
    if (!WaitWasStopped() && Available() == 0) platform::WaitForMessage(timeoutMs);
}

TActivityEnd TMacroHost::Record(const TPortSettings& settings, ksl::TStrings& target) {
    if (activity) return TActivityEnd::Refused;
    TActivityEnd end = TActivityEnd::Finished;
    {
        ActivityScope scope(*this);
        stopPressed = false;
        if (StartedOrStopped(settings)) {
            StopAtEnd stop(*this);
            try {
                end = RecordInto(target);
            } catch (...) {
                end = TActivityEnd::Failed;
            }
        }
    }
    AfterActivity(end != TActivityEnd::DeviceLost);
    return end;
}

// Time before the first byte is not recorded; after it, every gap of more than 20 ms becomes a
// Sleep line in front of the bytes that ended it.
TActivityEnd TMacroHost::RecordInto(ksl::TStrings& target) {
    uint32_t tick = platform::TickCount();
    while (!stopPressed && Available() == 0) {
        if (COMPort.DeviceLost()) return TActivityEnd::DeviceLost;
        platform::ProcessMessages();
        WaitForInput(NoTimeLimit);
        tick = platform::TickCount();
    }
    while (!stopPressed) {
        if (Available() > 0) {
            if (platform::TicksSince(tick) > RecordGapMs)
                target.push_back("Sleep(" + std::to_string(platform::TicksSince(tick)) + ");");
            const std::string hex = StrToHex(TakeInput());
            target.push_back("ComWriteHex('" + hex + "');");
            LogOutput("Rec_RD:" + hex);
            tick = platform::TickCount();
        } else if (COMPort.DeviceLost()) {
            return TActivityEnd::DeviceLost;
        }
        platform::ProcessMessages();
        WaitForInput(NoTimeLimit);
    }
    return TActivityEnd::Finished;
}

void TMacroHost::Print(const std::string& S) {
    LogOutput(S);
}

void TMacroHost::LogOutput(const std::string& S) {
    Log.Add(S);
    platform::ProcessMessages();
}

// Nothing is sent to a device known to be lost, and bytes it could not take are not logged as
// sent.
void TMacroHost::ComWrite(const std::string& S) {
    ThrowIfDeviceLost();
    const int32_t written = S.empty() ? 0 : COMPort.Write(S.data(), int32_t(S.size()));
    if (written < int32_t(S.size())) ThrowIfDeviceLost();
    LogOutput("Com_SD:" + StrToHex(S));
    ThrowIfDeviceLost();
}

std::string TMacroHost::ComRead() {
    const std::string bytes = TakeInput();
    if (bytes.empty()) {
        ThrowIfDeviceLost();
        return {};
    }
    LogOutput("Com_RD:" + StrToHex(bytes));
    return bytes;
}

// The first place where S arrived since the wait began, found in whole chunks: `recent` keeps the
// bytes of earlier chunks that a match may start in. TimeOut is unsigned milliseconds, 0 meaning
// no limit. What follows S stays for the next reader.
int32_t TMacroHost::ComWait(const std::string& S, int32_t TimeOut) {
    const uint32_t limit = uint32_t(TimeOut);
    const uint32_t tick = platform::TickCount();
    std::string recent;
    for (;;) {
        if (limit != 0 && platform::TicksSince(tick) >= limit) break;
        if (Available() > 0) {
            if (S.empty()) return -1;
            const std::string joined = recent + std::exchange(input, {});
            const size_t found = joined.find(S);
            if (found != std::string::npos) {
                input = joined.substr(found + S.size());
                LogOutput("Com_RD:" + StrToHex(S));
                return -1;
            }
            recent = joined.substr(joined.size() - std::min(joined.size(), S.size() - 1));
        }
        platform::ProcessMessages();
        // A Stop (or the port's closing) ends the wait; the run then ends at its next check.
        if (WaitWasStopped()) return 0;
        ThrowIfDeviceLost();
        WaitForInput(limit == 0 ? NoTimeLimit
                                : platform::WaitTimeoutMs(
                                      limit - std::min(limit, platform::TicksSince(tick))));
    }
    LogOutput("Timeout:" + StrToHex(S));
    return 0;
}

void TMacroHost::Fail(const std::string& Reason) {
    LogOutput("Fail:" + Reason);
    failReason = Reason;
    throw EMacroFailed(Reason);
}

size_t TMacroHost::Available() {
    if (input.empty()) TakeFromPort();
    return input.size();
}

// What the port has queued now, in one read, after what was taken before.
void TMacroHost::TakeFromPort() {
    const int32_t queued = COMPort.InQueCount();
    if (queued <= 0) return;
    const size_t before = input.size();
    input.resize(before + size_t(queued));
    const int32_t read = COMPort.Read(input.data() + before, queued);
    input.resize(before + size_t(std::max(read, 0)));
}

std::string TMacroHost::TakeInput() {
    TakeFromPort();
    return std::exchange(input, {});
}

// Sending needs an open port: one held by Connect, or the one a run or recording opened.
void TMacroHost::Send(const std::string& bytes) {
    if (!COMPort.Enabled())
        throw EMacroError("The port is not open: press Connect first, or run a macro");
    ComWrite(bytes);
}

void TMacroHost::Connect(const TPortSettings& settings) {
    if (connected) return;
    if (activity) {
        // The activity's port is held as it is; one that failed to open cannot be.
        if (!COMPort.Enabled()) throw EMacroError("The port is not open: press Stop first");
        return SetConnected(true);
    }
    LockSettings(true);
    try {
        OpenPort(settings);
    } catch (const serial::ECommError& failure) {
        COMPort.Close();
        LockSettings(false);
        // A Stop while a network device was still connecting is no failure.
        if (failure.ErrorCode == ECANCELED) return;
        throw;
    } catch (...) {
        COMPort.Close();
        LockSettings(false);
        throw;
    }
    received = {};
    SetConnected(true);
}

void TMacroHost::Disconnect() {
    if (!connected) return;
    LogReceivedLines({received.Flush()});
    SetConnected(false);
    Stop();
}

void TMacroHost::SetConnected(bool value) {
    connected = value;
    if (OnConnectionChanged) OnConnectionChanged(value);
}

void TMacroHost::ServeConnection() {
    if (!connected || activity) return;
    const uint32_t now = platform::TickCount();
    std::vector<std::string> lines;
    size_t taken = 0;
    while (taken < ServeBytesPerCall) {
        const std::string bytes = TakeInput();
        if (bytes.empty()) break;
        taken += bytes.size();
        received.Add(bytes, now, lines);
    }
    lines.push_back(received.AfterSilence(now));
    LogReceivedLines(lines);
    if (COMPort.DeviceLost()) return LoseConnection(true);
    ServeConnectionIn(taken >= ServeBytesPerCall ? 0 : received.MsUntilSilence(now));
}

void TMacroHost::LogReceivedLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (!line.empty()) Log.Add("Com_RD:" + StrToHex(line));
}

void TMacroHost::LoseConnection(bool report) {
    const std::string message = DeviceLostMessage();
    Disconnect();
    if (report && OnConnectionLost) OnConnectionLost(message);
}

void TMacroHost::ServeConnectionIn(int ms) {
    if (ms >= 0 && OnServeConnectionIn) OnServeConnectionIn(ms);
}

bool TMacroHost::WaitWasStopped() const {
    return stopPressed || !COMPort.Enabled();
}

void TMacroHost::ThrowIfDeviceLost() const {
    if (COMPort.DeviceLost()) throw EMacroError(DeviceLostMessage());
}

std::string TMacroHost::DeviceLostMessage() const {
    return "Device disconnected: " + COMPort.DeviceName() +
           " (Error: " + std::to_string(COMPort.DeviceLostError()) + ")";
}

void TMacroHost::Kestrel1ProcParam(const std::string&, int32_t Index, ksl::TArgumentList& Argument,
                                   int32_t& Err_CD) {
    if (auto routine = Routines::Find<Routines::TProcedure>(Index, Err_CD))
        (*routine)(*this, Argument);
}

void TMacroHost::Kestrel1IntFuncParam(const std::string&, int32_t Index,
                                      ksl::TArgumentList& Argument, int32_t& Err_CD,
                                      int64_t& ResultValue) {
    if (auto routine = Routines::Find<Routines::TIntFunction>(Index, Err_CD))
        ResultValue = (*routine)(*this, Argument);
}

void TMacroHost::Kestrel1StrFuncParam(const std::string&, int32_t Index,
                                      ksl::TArgumentList& Argument, int32_t& Err_CD,
                                      std::string& ResultValue) {
    if (auto routine = Routines::Find<Routines::TStrFunction>(Index, Err_CD))
        ResultValue = (*routine)(*this, Argument);
}

// Only a routine with an index the handlers do not know reports a code; name it, so that the
// message says what went wrong.
void TMacroHost::Kestrel1ErrorProc(int32_t Error_CD, std::string& Err_Message) {
    if (Err_Message.empty())
        Err_Message = "Host routine failed (code " + std::to_string(Error_CD) + ")";
    platform::Dialogs().MessageBox(Err_Message, "Portwell", 0);
}

// Input during an activity is polled by the activity; while connected and idle, it is logged here.
void TMacroHost::COMPortRxChar(serial::TCustomComm&, int32_t) {
    ServeConnection();
}

} // namespace portwell
