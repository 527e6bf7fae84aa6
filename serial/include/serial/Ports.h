#pragma once
// The serial devices present on this machine, for a device list or `portwell-cli ports`.
#include <filesystem>
#include <string>
#include <vector>

namespace serial {

struct TSerialPortInfo {
    std::string Path;        // what to open, e.g. "/dev/ttyUSB0"
    std::string Description; // e.g. "USB serial adapter", "→ /dev/ttyUSB0"

    bool operator==(const TSerialPortInfo&) const = default;
};

// The /dev/serial/by-id links (each described by the device it leads to), then /dev/ttyUSB*,
// /dev/ttyACM* and the /dev/ttyS* that have a UART behind them.
std::vector<TSerialPortInfo> ListSerialPorts();

// The same, in a tree below `root` that holds dev/ and sys/ (for a prepared tree).
std::vector<TSerialPortInfo> ListSerialPorts(const std::filesystem::path& root);

} // namespace serial
