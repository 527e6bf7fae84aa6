#include "Ser2net.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

namespace {

constexpr const char* Program = "/usr/sbin/ser2net";

// Whether /proc/net/tcp shows a socket listening on 127.0.0.1:port.
bool Listening(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        char address[64] = "", remote[64] = "", state[8] = "";
        int slot;
        if (std::sscanf(line.c_str(), "%d: %63s %63s %7s", &slot, address, remote, state) == 4 &&
            std::string(address) == local && std::string(state) == "0A")
            return true;
    }
    return false;
}

bool Exited(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

} // namespace

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no free port on 127.0.0.1");
    close(fd);
    return ntohs(address.sin_port);
}

UnansweringPort::UnansweringPort() {
    FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    FFiller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListener < 0 || FFiller < 0 ||
        bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(FListener, 0) != 0 ||
        getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        connect(FFiller, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot make a port that does not answer");
    FPort = ntohs(address.sin_port);
}

UnansweringPort::~UnansweringPort() {
    close(FFiller);
    close(FListener);
}

bool Ser2net::Installed() {
    return access(Program, X_OK) == 0;
}

// A port found free may be taken before ser2net binds it; then another is tried.
Ser2net::Ser2net(const std::string& devicePath, bool rfc2217) : FRfc2217(rfc2217) {
    for (int attempt = 0; attempt < 3; ++attempt)
        if (Start(devicePath)) return;
    throw std::runtime_error("ser2net did not start listening");
}

Ser2net::~Ser2net() {
    Stop();
}

std::string Ser2net::DeviceName() const {
    return std::string(FRfc2217 ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(FPort);
}

bool Ser2net::Start(const std::string& devicePath) {
    FPort = FreePort();
    const std::string accepter =
        std::string(FRfc2217 ? "telnet(rfc2217)," : "") + "tcp,127.0.0.1," + std::to_string(FPort);
    FPidFile =
        "/tmp/portwell-ser2net-" + std::to_string(getpid()) + "-" + std::to_string(FPort) + ".pid";
    std::vector<std::string> args = {Program,
                                     "-n",
                                     "-u",
                                     "-P",
                                     FPidFile,
                                     "-Y",
                                     "connection: &portwell",
                                     "-Y",
                                     "  accepter: " + accepter,
                                     "-Y",
                                     "  connector: serialdev," + devicePath + ",9600n81,local",
                                     "-Y",
                                     "  options:",
                                     "-Y",
                                     "    kickolduser: true",
                                     "-Y",
                                     "    chardelay: false"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // ser2net must not hold the test's descriptors: a device side kept open there would stop the
    // test from hanging it up.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const int spawned = posix_spawn(&FPid, Program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start ser2net");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Listening(FPort)) return true;
        if (Exited(FPid)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return false;
}

void Ser2net::Stop() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Exited(FPid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FPid = -1;
    unlink(FPidFile.c_str());
}

} // namespace testsupport
