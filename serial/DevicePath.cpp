#include "serial/Comm.h"

#include <cctype>

namespace serial {

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "COM1" to "COM8", any letter case: the number, else 0.
int ComNumber(const std::string& name) {
    if (name.size() != 4 || !EqualIgnoringCase(name.substr(0, 3), "com")) return 0;
    const char digit = name[3];
    return digit >= '1' && digit <= '8' ? digit - '0' : 0;
}

} // namespace

bool IsLoopbackDevice(const std::string& deviceName) {
    return EqualIgnoringCase(deviceName, LoopbackDeviceName);
}

std::string DevicePath(const std::string& deviceName) {
    if (IsLoopbackDevice(deviceName) || IsNetworkDevice(deviceName)) return deviceName;
    if (const int number = ComNumber(deviceName)) return "/dev/ttyS" + std::to_string(number - 1);
    if (deviceName.empty() || deviceName.find('/') != std::string::npos) return deviceName;
    return "/dev/" + deviceName;
}

} // namespace serial
