#pragma once
// The serial port component: opens a device by name, programs its line settings, writes and reads
// raw bytes and, while open, reports line events through its callbacks on its owner's thread.
// Every operation belongs to one thread, the owner (the user-interface thread in the desktop
// program), which serves the callbacks in its message processing. Ports owned by different
// threads share nothing, so a program may run one port per thread.
//
// Device names: "COM1" to "COM8" (any letter case) are /dev/ttyS0 to /dev/ttyS7, a name with a
// "/" is a path, "loop://" is a built-in loopback device that echoes every byte written to it,
// "tcp://HOST:PORT" and "rfc2217://HOST:PORT" are devices on the network (raw bytes, and Telnet
// with the COM-PORT-OPTION, which carries the line settings too), and any other bare name is looked
// up in /dev ("ttyUSB0" is /dev/ttyUSB0).
#include "serial/CommEventThread.h"
#include "serial/CommTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace serial {

class TCustomComm;
class TPseudoDevice;

// Messages of ECommError; " (Error: N) " is appended to each.
inline constexpr const char* SOpenError = "Error accessing specified device";
inline constexpr const char* SInvalidHandle = "Invalid device handle, access denied";
inline constexpr const char* SPortAssigned = "Device already assigned (open)";
inline constexpr const char* SSetupCommErr = "Error initializing Read/Write Buffers";
inline constexpr const char* SUpdateDCBErr = "Error updating DataControlBlock";
inline constexpr const char* SCommTimeoutsErr = "Error updating CommTimeouts";

inline constexpr const char* DefaultDeviceName = "Com2";
inline constexpr const char* LoopbackDeviceName = "loop://";

class ECommError : public std::runtime_error {
public:
    // The message, " (Error: N) ", then what more there is to say (a network device's name and
    // the reason it could not be reached).
    ECommError(const std::string& message, int32_t errorCode, const std::string& detail = {});
    int32_t ErrorCode;
};

bool IsLoopbackDevice(const std::string& deviceName);
bool IsNetworkDevice(const std::string& deviceName);
// The path a device name stands for; the names of the loopback and network devices stay as they
// are.
std::string DevicePath(const std::string& deviceName);

// The XON and XOFF characters; changing one reprograms an open port.
class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm& owner) : FOwner(owner) {}
    uint8_t XonChar() const { return FXonChar; }
    uint8_t XoffChar() const { return FXoffChar; }
    void SetXonChar(uint8_t value);
    void SetXoffChar(uint8_t value);

private:
    void Change(uint8_t& field, uint8_t value);

    TCustomComm& FOwner;
    uint8_t FXonChar = 17;
    uint8_t FXoffChar = 19;
};

using TCommNotifyEvent = std::function<void(TCustomComm& Sender)>;
using TCommErrorEvent = std::function<void(TCustomComm& Sender, uint32_t Errors)>;
using TCommRxCharEvent = std::function<void(TCustomComm& Sender, int32_t Count)>;

class TCustomComm {
public:
    TCustomComm();
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    // Open either succeeds or leaves the port closed, raising ECommError. Connecting to a network
    // device serves the thread's messages; a Close meanwhile (a Stop) or an interrupt request
    // cancels it, and Open raises ECommError with the code ECANCELED.
    void Open();
    void Close();
    bool Enabled() const { return FHandle >= 0; }
    // The open device's descriptor, -1 while closed: for watching the line from outside.
    int Handle() const { return FHandle; }

    // Hands all `count` bytes to the device, waiting at most the write time-out for room. Returns
    // the number written (fewer only after a time-out or failure), or -1 when none could be.
    int32_t Write(const void* buf, int32_t count);
    // Takes up to `count` queued bytes without waiting: the number read, 0 when none are queued,
    // -1 when closed, lost or failed.
    int32_t Read(void* buf, int32_t count);
    // Bytes waiting in the input queue; -1 when closed or lost.
    int32_t InQueCount();

    // True once the device has gone away (unplugged, far end closed); DeviceLostError() is the
    // errno seen then. Reset by Open.
    bool DeviceLost() const;
    int DeviceLostError() const;

    // Reads the device's settings, applies the properties and writes them back; nothing while
    // closed. What the device or Linux refuses raises "Error updating DataControlBlock".
    void UpdateDataControlBlock();
    void ConfigureHandshaking(DCB& dcb) const;
    // Runs on this thread for each mask of EV_* events the event thread reports: refreshes the
    // error flags and queue count, then calls the callbacks in CommEventList order.
    void HandleCommEvent(uint32_t Status);

    const std::string& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const std::string& value);
    TCommEventType MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TCommEventType value);
    int32_t ReadBufSize() const { return FReadBufSize; }
    void SetReadBufSize(int32_t value);
    int32_t WriteBufSize() const { return FWriteBufSize; }
    void SetWriteBufSize(int32_t value);

    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity value);
    TStopbits Stopbits() const { return FStopbits; }
    void SetStopbits(TStopbits value);
    TDatabits Databits() const { return FDatabits; }
    void SetDatabits(TDatabits value);
    TCommOptions Options() const { return FOptions; }
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const { return FFlowControl; }
    void SetFlowControl(TFlowControl value);
    int32_t CharsTimeout() const { return FCharsTimeout; }
    void SetCharsTimeout(int32_t value);
    TCommEventChars& EventChars() { return FEventChars; }

    const DCB& DataControlBlock() const { return FDCB; }
    const COMMTIMEOUTS& CommTimeouts() const { return FTimeouts; }

    TCommNotifyEvent OnBreak, OnCTS, OnDSR, OnRing, OnRLSD, OnRxFlag, OnTxEmpty;
    TCommErrorEvent OnError;
    TCommRxCharEvent OnRxChar;

protected:
    virtual void CreateHandle();
    virtual void EventStateChange(uint32_t Event);
    void DestroyHandle();

private:
    void StartSession();
    void SetupQueues();
    void RefreshStatus();
    void NoteFailure(int error);
    bool WaitWritable(uint32_t start);
    std::string PathToOpen();
    std::unique_ptr<TPseudoDevice> ConnectNetworkDevice();
    [[noreturn]] void FailOpen(const char* message, int32_t code);
    bool SettingsInRange() const;
    template <typename T> void ApplySetting(T& field, T value);
    void RefuseWhileOpen() const;

    int FHandle = -1;
    DCB FDCB;
    COMSTAT FComStat;
    COMMTIMEOUTS FTimeouts;
    std::string FDeviceName = DefaultDeviceName;
    std::unique_ptr<TCommEventThread> FCommEventThread;
    std::unique_ptr<TPseudoDevice> FPseudoDevice;
    bool FConnecting = false;
    std::shared_ptr<TLineStatus> FLine = std::make_shared<TLineStatus>();
    // Changes at every Open, Close and destruction, so that a dispatch notices that a callback
    // closed, reopened or destroyed the component, and a connection in progress that it is no
    // longer wanted.
    std::shared_ptr<uint64_t> FGeneration = std::make_shared<uint64_t>(0);
    TCommEventType FMonitorEvents = AllCommEvents;
    uint32_t FErrors = 0;
    TBaudRate FBaudRate = cbr9600;
    TParity FParity = paNone;
    TStopbits FStopbits = sb10;
    TDatabits FDatabits = da8;
    int32_t FReadBufSize = 4096;
    int32_t FWriteBufSize = 2048;
    int32_t FCharsTimeout = 250;
    TCommOptions FOptions;
    TCommEventChars FEventChars{*this};
    TFlowControl FFlowControl = fcDefault;
};

// The component as the main window holds it.
class TComm final : public TCustomComm {};

} // namespace serial
