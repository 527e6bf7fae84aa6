#pragma once
// The "loop://" device: a pseudo-terminal pair whose far end echoes every byte back, so that the
// component opens the near end like any other serial device.
#include "PseudoDevice.h"
#include "platform/EventFd.h"

#include <string>
#include <thread>

namespace serial {

class TLoopbackDevice final : public TPseudoDevice {
public:
    // Raises ECommError when no pseudo-terminal can be had.
    TLoopbackDevice();
    ~TLoopbackDevice() override;
    TLoopbackDevice(const TLoopbackDevice&) = delete;
    TLoopbackDevice& operator=(const TLoopbackDevice&) = delete;

    const std::string& Path() const override { return FPath; }

private:
    void Echo();
    bool WriteAll(const char* bytes, size_t count);
    bool WaitFor(short events);

    int FFarEnd = -1;
    // Held open so that the far end never sees a hang-up between uses.
    int FNearEnd = -1;
    platform::EventFd FStop;
    std::string FPath;
    std::thread FEcho;
};

} // namespace serial
