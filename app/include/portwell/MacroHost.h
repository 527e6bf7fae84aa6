#pragma once
// The host of the script engine: it owns the engine (Kestrel1) and the serial port (COMPort),
// offers macros the seven routines that print, send, read and wait for replies, and carries the
// two activities, running a macro (once or in a loop) and recording the device's traffic.
//
// It knows no window: the desktop window and portwell-cli are two hosts of this one class. Both
// hand it the port settings, tell it what the Loop and Interval controls say, watch its traffic
// log, and press Stop through Stop(). Everything runs on the user-interface thread; waits let the
// platform process pending messages, which is where a Stop request arrives.
//
// The window may also hold the port open (Connect): runs and recordings then use the open port
// and leave it open, what the user types is sent with Send(), and what the device sends while
// nothing runs is logged as Com_RD: lines.
#include "kestrel/Kestrel.h"
#include "portwell/PortSettings.h"
#include "portwell/ReceivedLines.h"
#include "portwell/TrafficLog.h"
#include "serial/Comm.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace portwell {

// A host routine failed in a way that must end the run: a time-out outside the 32-bit range, a
// device that went away.
class EMacroError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The macro called Fail: the run ends as failed, with the macro's reason. The message is the line
// the traffic log shows for it.
class EMacroFailed : public std::runtime_error {
public:
    explicit EMacroFailed(const std::string& reason)
        : std::runtime_error("Fail:" + reason), reason(reason) {}
    const std::string& Reason() const { return reason; }

private:
    std::string reason;
};

enum class TActivityEnd {
    Finished,   // ran to its end, or Stop was pressed
    Refused,    // another activity was in progress
    DeviceLost, // the device went away during a recording
    Failed,     // a recording failed; what it recorded may be incomplete
};

class TMacroHost {
public:
    // The routines macros may call, as declared to the engine at every run.
    static const ksl::TStrings Prototypes;

    TMacroHost();
    TMacroHost(const TMacroHost&) = delete;
    TMacroHost& operator=(const TMacroHost&) = delete;

    ksl::TKestrel Kestrel1;
    serial::TComm COMPort;
    TTrafficLog Log;

    // What the Loop check box and the Interval field say; read anew at every check.
    std::function<bool()> LoopChecked;
    std::function<int64_t()> IntervalMs;
    // Told when an activity locks the port settings and when Stop unlocks them again.
    std::function<void(bool locked)> OnSettingsLocked;

    // Told when Stop has been pressed, so that Run and Rec are released.
    std::function<void()> OnStopped;
    // Told when Connect or Disconnect (or a lost device) changes the connection.
    std::function<void(bool connected)> OnConnectionChanged;
    // Told when the connected device went away while nothing ran, with the message a run would
    // have ended with; the connection is closed by then.
    std::function<void(const std::string& message)> OnConnectionLost;
    // Asks the owner to call ServeConnection() after `ms` milliseconds (0: as soon as it can), to
    // end a line on silence or to go on reading a flood.
    std::function<void(int ms)> OnServeConnectionIn;

    bool Busy() const { return activity; }
    bool StopPressed() const { return stopPressed; }
    // An activity that Stop has ended but that has not yet left the stack.
    bool Unwinding() const { return activity && stopPressed; }

    // Opens the port and holds it open until Disconnect(); the settings stay locked meanwhile.
    // During an activity the port it has open is held instead. A port that cannot be opened
    // raises serial::ECommError and leaves the settings unlocked.
    void Connect(const TPortSettings& settings);
    // Ends what is in progress, closes the port and unlocks the settings.
    void Disconnect();
    bool Connected() const { return connected; }
    // Sends bytes the user typed and logs them as Com_SD:, as ComWrite does. Raises EMacroError
    // when no port is open or the device has gone away.
    void Send(const std::string& bytes);
    // Logs what the connected device sent while nothing runs, a line at a time.
    void ServeConnection();

    // Opens the port and runs `macro` (nothing for nullptr), once or while LoopChecked(), until
    // it ends or Stop is pressed; the port is closed at the end, unless it is held by Connect (then
    // it is used as it is, and left open). A failure that ends the run (ksl::EKestrelError,
    // EMacroError, or EMacroFailed when the macro called Fail) reaches the caller after Stop. A
    // failure to open
    // the port (serial::ECommError) reaches the caller before anything runs, and without Stop:
    // the settings stay locked and COMPort keeps the new line settings, closed, until Stop is
    // pressed, as after a Record whose port cannot open. A Stop while a network device is still
    // connecting ends the run quietly.
    TActivityEnd Run(const TPortSettings& settings, const ksl::TStrings* macro);

    // Opens the port and appends to `target` a line "ComWriteHex('..');" for every chunk of bytes
    // the device sends and "Sleep(ms);" for every gap of more than 20 ms, until Stop is pressed.
    // Failures after the port has opened are not passed on; the result tells them.
    TActivityEnd Record(const TPortSettings& settings, ksl::TStrings& target);

    // Ends what is in progress: asks a running macro to abort, closes the port, unlocks the
    // settings; a port held by Connect stays open, and the settings locked. Harmless when
    // repeated or when nothing runs.
    void Stop();

    // The engine's callbacks: each runs the host routine with the declared index, or sets Err_CD
    // to -1 when no routine of its kind has that index.
    void Kestrel1ProcParam(const std::string& ProcName, int32_t Index, ksl::TArgumentList& Argument,
                           int32_t& Err_CD);
    void Kestrel1IntFuncParam(const std::string& FuncName, int32_t Index,
                              ksl::TArgumentList& Argument, int32_t& Err_CD, int64_t& ResultValue);
    void Kestrel1StrFuncParam(const std::string& FuncName, int32_t Index,
                              ksl::TArgumentList& Argument, int32_t& Err_CD,
                              std::string& ResultValue);
    void Kestrel1ErrorProc(int32_t Error_CD, std::string& Err_Message);
    // Activities poll their input; the received-character event only wakes their waits, and
    // serves a connection while nothing runs.
    void COMPortRxChar(serial::TCustomComm& Sender, int32_t Count);

private:
    class ActivityScope;
    struct Routines;

    // The routines behind the prototypes.
    void Print(const std::string& S);
    void LogOutput(const std::string& S);
    void ComWrite(const std::string& S);
    std::string ComRead();
    int32_t ComWait(const std::string& S, int32_t TimeOut);
    [[noreturn]] void Fail(const std::string& Reason);

    void ExecutePass();
    void Start(const TPortSettings& settings);
    bool StartedOrStopped(const TPortSettings& settings);
    void OpenPort(const TPortSettings& settings);
    TActivityEnd RunPasses(const TPortSettings& settings, const ksl::TStrings* macro);
    void PauseBetweenPasses();
    TActivityEnd RecordInto(ksl::TStrings& target);
    void AfterActivity(bool reportLoss);
    void WaitForInput(int timeoutMs);
    bool WaitWasStopped() const;
    void ThrowIfDeviceLost() const;
    std::string DeviceLostMessage() const;
    void LockSettings(bool locked);
    void SetConnected(bool value);
    void LogReceivedLines(const std::vector<std::string>& lines);
    void LoseConnection(bool report);
    void ServeConnectionIn(int ms);

    // What has been taken from the port and not yet consumed: ComWait reads in chunks and leaves
    // what follows the sequence it waited for to the next reader.
    size_t Available();
    void TakeFromPort();
    std::string TakeInput();

    bool activity = false;
    bool stopPressed = true;
    std::optional<std::string> failReason; // of the pass in progress, once it called Fail
    bool connected = false;
    std::string input;
    TReceivedLines received;
};

} // namespace portwell
