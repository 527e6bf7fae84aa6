#include "serial/Ports.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <string_view>
#include <utility>

namespace serial {

namespace fs = std::filesystem;

namespace {

struct DeviceFamily {
    std::string_view prefix;
    const char* description;
    bool onlyWithUart;
};

constexpr DeviceFamily Families[] = {
    {"ttyUSB", "USB serial adapter", false},
    {"ttyACM", "USB modem (CDC ACM)", false},
    {"ttyS", "serial port (UART)", true},
};

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The devices named prefix + number, in numeric order (ttyS2 before ttyS10).
std::vector<std::string> DeviceNames(const fs::path& dev, std::string_view prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dev, error)) {
        std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && AllDigits(name.substr(prefix.size())))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::pair(a.size(), a) < std::pair(b.size(), b);
    });
    return names;
}

// The legacy ttyS ports exist whether or not a UART answers; the kernel types empty ones 0.
bool HasUart(const fs::path& root, const std::string& name) {
    std::ifstream typeFile(root / "sys/class/tty" / name / "type");
    int type = 0;
    return typeFile >> type && type != 0;
}

// A path under `root`, as the system outside the tree would see it.
std::string Unrooted(const fs::path& root, const fs::path& path) {
    return (fs::path("/") / path.lexically_relative(root)).string();
}

// Each by-id link, keyed by its name, with the device it leads to.
std::map<std::string, std::string> ByIdLinks(const fs::path& root) {
    std::map<std::string, std::string> links;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", error)) {
        const fs::path target = fs::canonical(entry.path(), error);
        if (!error) links[entry.path().filename().string()] = Unrooted(root, target);
    }
    return links;
}

std::string DescribeDevice(const DeviceFamily& family, const std::string& path,
                           const std::map<std::string, std::string>& links) {
    std::string description = family.description;
    for (const auto& [name, target] : links)
        if (target == path) return description + " (" + name + ")";
    return description;
}

} // namespace

std::vector<TSerialPortInfo> ListSerialPorts() {
    return ListSerialPorts("/");
}

std::vector<TSerialPortInfo> ListSerialPorts(const fs::path& rootGiven) {
    std::error_code error;
    const fs::path root = fs::canonical(rootGiven, error);
    if (error) return {};
    const auto links = ByIdLinks(root);
    std::vector<TSerialPortInfo> ports;
    for (const auto& [name, target] : links)
        ports.push_back({"/dev/serial/by-id/" + name, "→ " + target});
    for (const DeviceFamily& family : Families) {
        for (const std::string& name : DeviceNames(root / "dev", family.prefix)) {
            if (family.onlyWithUart && !HasUart(root, name)) continue;
            const std::string path = "/dev/" + name;
            ports.push_back({path, DescribeDevice(family, path, links)});
        }
    }
    return ports;
}

} // namespace serial
