#include "serial/Ports.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace serial;
namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& path, const std::string& content = "") {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

class PreparedTree : public testing::Test {
protected:
    void SetUp() override {
        root =
            fs::temp_directory_path() /
            ("portwell-ports-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(getpid()));
        fs::remove_all(root);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
};

TEST_F(PreparedTree, ListsLinksAdaptersAndRealUarts) {
    for (const char* name : {"ttyUSB0", "ttyACM1", "ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttySx"})
        Touch(root / "dev" / name);
    Touch(root / "sys/class/tty/ttyS0/type", "4\n");
    Touch(root / "sys/class/tty/ttyS1/type", "0\n");
    Touch(root / "sys/class/tty/ttyS10/type", "4\n");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_A1-if00-port0");
    fs::create_symlink("../../gone", root / "dev/serial/by-id/usb-Dangling");

    const std::vector<TSerialPortInfo> expected = {
        {"/dev/serial/by-id/usb-FTDI_A1-if00-port0", "→ /dev/ttyUSB0"},
        {"/dev/ttyUSB0", "USB serial adapter (usb-FTDI_A1-if00-port0)"},
        {"/dev/ttyACM1", "USB modem (CDC ACM)"},
        {"/dev/ttyS0", "serial port (UART)"},
        {"/dev/ttyS10", "serial port (UART)"},
    };
    EXPECT_EQ(ListSerialPorts(root), expected);
}

TEST_F(PreparedTree, AMissingTreeListsNothing) {
    EXPECT_TRUE(ListSerialPorts(root).empty());
}

} // namespace
