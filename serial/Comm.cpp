#include "serial/Comm.h"

#include "Loopback.h"
#include "NetworkDevice.h"
#include "Termios2.h"
#include "platform/Clock.h"
#include "platform/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serial {

namespace {

constexpr uint32_t WriteTimeoutMs = 1500;
constexpr uint32_t RoomRecheckMs = 10;
constexpr uint32_t NoReadInterval = 0xFFFFFFFF;

[[noreturn]] void RaiseCommError(const char* message, int32_t code) {
    throw ECommError(message, code);
}

std::string WithCode(const std::string& message, int32_t code) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (Error: %d) ", code);
    return message + suffix;
}

bool MeansDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// TIOCEXCL keeps other users out but not root, so the descriptor is locked as well. A device some
// other program already holds exclusively counts as busy too, even for root.
int TakeExclusive(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
    int heldElsewhere = 0;
    if (ioctl(fd, TIOCGEXCL, &heldElsewhere) == 0 && heldElsewhere) return EBUSY;
    return ioctl(fd, TIOCEXCL) == 0 ? 0 : errno;
}

// Stores `value`; when `apply` refuses it, the previous value is restored, so that the component
// keeps describing the device as it is.
template <typename T, typename Apply> void StoreAndApply(T& field, T value, Apply apply) {
    if (field == value) return;
    const T previous = field;
    field = value;
    try {
        apply();
    } catch (...) {
        field = previous;
        throw;
    }
}

template <typename Table> bool InTable(const Table& table, int ordinal) {
    return ordinal >= 0 && size_t(ordinal) < table.size();
}

} // namespace

ECommError::ECommError(const std::string& message, int32_t errorCode, const std::string& detail)
    : std::runtime_error(WithCode(message, errorCode) + detail), ErrorCode(errorCode) {}

void TCommEventChars::SetXonChar(uint8_t value) {
    Change(FXonChar, value);
}

void TCommEventChars::SetXoffChar(uint8_t value) {
    Change(FXoffChar, value);
}

void TCommEventChars::Change(uint8_t& field, uint8_t value) {
    StoreAndApply(field, value, [this] { FOwner.UpdateDataControlBlock(); });
}

TCustomComm::TCustomComm() = default;

TCustomComm::~TCustomComm() {
    Close();
    ++*FGeneration;
}

void TCustomComm::Open() {
    Close();
    FLine = std::make_shared<TLineStatus>();
    CreateHandle();
    if (!Enabled()) return;
    try {
        StartSession();
    } catch (...) {
        Close();
        throw;
    }
}

void TCustomComm::StartSession() {
    ++*FGeneration;
    FErrors = 0;
    FComStat = {};
    FCommEventThread = std::make_unique<TCommEventThread>(
        FHandle, FMonitorEvents, FLine,
        [this](TCommEventThread&, uint32_t status) { HandleCommEvent(status); });
    UpdateDataControlBlock();
    SetupQueues();
    SetCharsTimeout(FCharsTimeout);
}

void TCustomComm::Close() {
    if (FConnecting) {
        FConnecting = false;
        ++*FGeneration;
    }
    if (!Enabled()) return;
    ++*FGeneration;
    if (FCommEventThread) {
        FCommEventThread->ReleaseThread();
        FCommEventThread.reset();
    }
    DestroyHandle();
}

void TCustomComm::CreateHandle() {
    const std::string path = PathToOpen();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) FailOpen(SOpenError, errno);
    if (!isatty(fd)) {
        close(fd);
        FailOpen(SInvalidHandle, -1);
    }
    if (const int error = TakeExclusive(fd)) {
        close(fd);
        FailOpen(SOpenError, error);
    }
    FHandle = fd;
    if (const int error = detail::MakeRaw(fd)) {
        DestroyHandle();
        FailOpen(SOpenError, error);
    }
}

std::string TCustomComm::PathToOpen() {
    if (IsLoopbackDevice(FDeviceName))
        FPseudoDevice = std::make_unique<TLoopbackDevice>();
    else if (IsNetworkDevice(FDeviceName))
        FPseudoDevice = ConnectNetworkDevice();
    else
        return DevicePath(FDeviceName);
    return FPseudoDevice->Path();
}

// What runs meanwhile may close the component, or destroy it: the connection is then given up, and
// nothing here touches the component again.
std::unique_ptr<TPseudoDevice> TCustomComm::ConnectNetworkDevice() {
    const std::shared_ptr<uint64_t> generation = FGeneration;
    const uint64_t current = *generation;
    FConnecting = true;
    auto device = std::make_unique<TNetworkDevice>(FDeviceName, [generation, current] {
        return *generation != current || platform::InterruptRequested();
    });
    FConnecting = false;
    return device;
}

void TCustomComm::FailOpen(const char* message, int32_t code) {
    FPseudoDevice.reset();
    RaiseCommError(message, code);
}

// The exclusive flag belongs to the terminal, not to our descriptor: left set, it would keep the
// device closed to others for as long as anyone else still has it open.
void TCustomComm::DestroyHandle() {
    if (FHandle >= 0) {
        ioctl(FHandle, TIOCNXCL);
        close(FHandle);
        FHandle = -1;
    }
    FPseudoDevice.reset();
}

// Linux sizes its terminal queues itself; only sizes that make no sense are refused.
void TCustomComm::SetupQueues() {
    if (FReadBufSize <= 0 || FWriteBufSize <= 0) RaiseCommError(SSetupCommErr, EINVAL);
}

int32_t TCustomComm::Write(const void* buf, int32_t count) {
    if (!Enabled() || DeviceLost() || count < 0 || (count > 0 && !buf)) return -1;
    const auto* bytes = static_cast<const uint8_t*>(buf);
    const uint32_t start = platform::TickCount();
    int32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(FHandle, bytes + written, size_t(count - written));
        if (n > 0) {
            written += int32_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            NoteFailure(errno);
            break;
        } else if (!WaitWritable(start)) {
            break;
        }
    }
    return written > 0 || count == 0 ? written : -1;
}

// Waits for room in the output queue until the write time-out, counted from `start`, has passed.
// Pseudo-terminals do not always wake a writer when room appears, so the wait is cut into slices
// after each of which the write is tried again.
bool TCustomComm::WaitWritable(uint32_t start) {
    const uint32_t elapsed = platform::TicksSince(start);
    const uint32_t limit = FTimeouts.WriteTotalTimeoutConstant;
    if (elapsed >= limit) return false;
    pollfd device{FHandle, POLLOUT, 0};
    const int n = poll(&device, 1, int(std::min(limit - elapsed, RoomRecheckMs)));
    if (n <= 0) return n == 0 || errno == EINTR;
    if (device.revents & (POLLHUP | POLLERR)) {
        NoteFailure(EIO);
        return false;
    }
    return (device.revents & POLLOUT) != 0;
}

int32_t TCustomComm::Read(void* buf, int32_t count) {
    if (!Enabled() || DeviceLost() || count < 0 || (count > 0 && !buf)) return -1;
    if (count == 0) return 0;
    ssize_t n;
    do {
        n = ::read(FHandle, buf, size_t(count));
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        FLine->Consumed += uint64_t(n);
        return int32_t(n);
    }
    if (n < 0 && errno == EAGAIN) return 0;
    // A terminal reads end-of-file only once it has been hung up.
    NoteFailure(n == 0 ? EIO : errno);
    return -1;
}

int32_t TCustomComm::InQueCount() {
    if (!Enabled() || DeviceLost()) return -1;
    int queued = 0;
    if (ioctl(FHandle, TIOCINQ, &queued) == 0) return queued;
    NoteFailure(errno);
    return -1;
}

bool TCustomComm::DeviceLost() const {
    return FLine->LostError != 0;
}

int TCustomComm::DeviceLostError() const {
    return FLine->LostError;
}

void TCustomComm::NoteFailure(int error) {
    if (!MeansDeviceGone(error)) return;
    int none = 0;
    FLine->LostError.compare_exchange_strong(none, error);
    FLine->Errors.fetch_or(CE_IOE);
}

bool TCustomComm::SettingsInRange() const {
    return InTable(CommBaudRates, FBaudRate) && InTable(CommParity, FParity) &&
           InTable(CommStopBits, FStopbits) && InTable(CommDataBits, FDatabits) &&
           FFlowControl >= fcNone && FFlowControl <= fcDefault;
}

void TCustomComm::UpdateDataControlBlock() {
    if (!Enabled()) return;
    if (!SettingsInRange()) RaiseCommError(SUpdateDCBErr, EINVAL);
    if (const int error = detail::ReadDcb(FHandle, FDCB)) RaiseCommError(SUpdateDCBErr, error);
    FDCB.BaudRate = CommBaudRates[FBaudRate];
    FDCB.Parity = CommParity[FParity];
    FDCB.StopBits = CommStopBits[FStopbits];
    FDCB.ByteSize = CommDataBits[FDatabits];
    FDCB.XonChar = FEventChars.XonChar();
    FDCB.XoffChar = FEventChars.XoffChar();
    FDCB.XonLim = FDCB.XoffLim = uint16_t(FReadBufSize / 4);
    ConfigureHandshaking(FDCB);
    for (int option = coParityCheck; option <= coNullStrip; ++option) {
        if (FOptions.Contains(TCommOption(option)))
            FDCB.Flags |= CommOptions[option];
        else
            FDCB.Flags &= ~CommOptions[option];
    }
    if (const int error = detail::WriteDcb(FHandle, FDCB)) {
        NoteFailure(error);
        RaiseCommError(SUpdateDCBErr, error);
    }
    if (FPseudoDevice) FPseudoDevice->LineSettingsChanged(FDCB, FFlowControl != fcDefault);
}

void TCustomComm::ConfigureHandshaking(DCB& dcb) const {
    if (FFlowControl == fcDefault) return;
    uint32_t flags = dcb.Flags & ~(fOutxCtsFlow | fOutxDsrFlow | fOutX | fInX);
    flags = WithRtsControl(flags, RTS_CONTROL_TOGGLE);
    flags = WithDtrControl(flags, DTR_CONTROL_ENABLE);
    if (FFlowControl == fcCTS) flags |= fOutxCtsFlow;
    if (FFlowControl == fcDTR) flags |= fOutxDsrFlow;
    if (FFlowControl == fcSoftware) flags |= fOutX | fInX;
    dcb.Flags = flags;
}

void TCustomComm::HandleCommEvent(uint32_t Status) {
    const std::shared_ptr<uint64_t> generation = FGeneration;
    const uint64_t current = *generation;
    RefreshStatus();
    for (uint32_t event : CommEventList) {
        // A callback may have closed, reopened or destroyed the component: stop then.
        if (*generation != current) return;
        if (Status & event) EventStateChange(event);
    }
}

void TCustomComm::RefreshStatus() {
    FErrors = FLine->Errors.exchange(0);
    const int32_t queued = InQueCount();
    FComStat.cbInQue = queued > 0 ? uint32_t(queued) : 0;
}

void TCustomComm::EventStateChange(uint32_t Event) {
    auto notify = [this](const TCommNotifyEvent& callback) {
        if (callback) callback(*this);
    };
    switch (Event) {
    case EV_RXCHAR:
        if (OnRxChar) OnRxChar(*this, int32_t(FComStat.cbInQue));
        break;
    case EV_ERR:
        if (OnError) OnError(*this, FErrors);
        break;
    case EV_RXFLAG:
        notify(OnRxFlag);
        break;
    case EV_TXEMPTY:
        notify(OnTxEmpty);
        break;
    case EV_CTS:
        notify(OnCTS);
        break;
    case EV_DSR:
        notify(OnDSR);
        break;
    case EV_RLSD:
        notify(OnRLSD);
        break;
    case EV_BREAK:
        notify(OnBreak);
        break;
    case EV_RING:
        notify(OnRing);
        break;
    default:
        break;
    }
}

void TCustomComm::RefuseWhileOpen() const {
    if (Enabled()) RaiseCommError(SPortAssigned, -1);
}

void TCustomComm::SetDeviceName(const std::string& value) {
    RefuseWhileOpen();
    FDeviceName = value;
}

void TCustomComm::SetMonitorEvents(TCommEventType value) {
    RefuseWhileOpen();
    FMonitorEvents = value;
}

void TCustomComm::SetReadBufSize(int32_t value) {
    RefuseWhileOpen();
    FReadBufSize = value;
}

void TCustomComm::SetWriteBufSize(int32_t value) {
    RefuseWhileOpen();
    FWriteBufSize = value;
}

template <typename T> void TCustomComm::ApplySetting(T& field, T value) {
    StoreAndApply(field, value, [this] { UpdateDataControlBlock(); });
}

void TCustomComm::SetBaudRate(TBaudRate value) {
    ApplySetting(FBaudRate, value);
}

void TCustomComm::SetParity(TParity value) {
    ApplySetting(FParity, value);
}

void TCustomComm::SetStopbits(TStopbits value) {
    ApplySetting(FStopbits, value);
}

void TCustomComm::SetDatabits(TDatabits value) {
    ApplySetting(FDatabits, value);
}

void TCustomComm::SetOptions(TCommOptions value) {
    ApplySetting(FOptions, value);
}

void TCustomComm::SetFlowControl(TFlowControl value) {
    ApplySetting(FFlowControl, value);
}

// Reads never wait on Linux, so of the time-outs only the write limit takes effect. A negative
// value is refused before it is stored, open or not: kept, it would fail every later Open.
void TCustomComm::SetCharsTimeout(int32_t value) {
    if (value < 0) RaiseCommError(SCommTimeoutsErr, EINVAL);
    FCharsTimeout = value;
    if (!Enabled()) return;
    FTimeouts = COMMTIMEOUTS{};
    FTimeouts.ReadIntervalTimeout = value == 0 ? NoReadInterval : uint32_t(value);
    FTimeouts.WriteTotalTimeoutConstant = WriteTimeoutMs;
}

} // namespace serial
