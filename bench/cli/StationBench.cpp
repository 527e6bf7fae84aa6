// One macro of 200 request-and-reply exchanges, run by portwell-cli on 1 and on 32 devices at
// once (pseudo-terminals this program plays): the wall time of each, best of three, and the
// memory of the 32-device station at its peak, the station and its runs together. Devices that
// answer at once make every run busy all the time, so that 32 of them share the machine's cores;
// devices that take 5 ms to answer, as real ones take their time, show what waiting in parallel
// saves.
#include "DevicePlayer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::DevicePlayer;
using namespace std::chrono;

namespace {

constexpr int Exchanges = 200;
constexpr size_t ManyDevices = 32;
constexpr int Rounds = 3;

const std::string Macro = "var i: Integer;\nbegin\n  for i := 1 to " + std::to_string(Exchanges) +
                          " do\n  begin\n    ComWrite('REQ ' + IntToStr(i) + #13);\n"
                          "    if not ComWait('ACK ' + IntToStr(i) + #13, 20000) then\n"
                          "      Fail('no reply to ' + IntToStr(i));\n  end;\nend.\n";

// A value in kB from a /proc file's "Name: value kB" line; 0 when the process is gone.
long KilobytesIn(const std::string& path, const std::string& name) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, name.size(), name) == 0) return std::atol(line.c_str() + name.size());
    return 0;
}

pid_t ParentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(text.substr(close + 2));
    char state;
    pid_t parent = -1;
    rest >> state >> parent;
    return parent;
}

std::vector<pid_t> ProcessTree(pid_t root) {
    std::vector<pid_t> tree{root};
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid > 0 && ParentOf(pid) == root) tree.push_back(pid);
    }
    if (proc) closedir(proc);
    return tree;
}

struct TMemory {
    long rssKb = 0, pssKb = 0;
    size_t processes = 0;
};

TMemory MemoryOf(pid_t root) {
    TMemory memory;
    for (pid_t pid : ProcessTree(root)) {
        const std::string dir = "/proc/" + std::to_string(pid);
        memory.rssKb += KilobytesIn(dir + "/status", "VmRSS:");
        memory.pssKb += KilobytesIn(dir + "/smaps_rollup", "Pss:");
        ++memory.processes;
    }
    return memory;
}

struct TRun {
    double seconds = 0;
    TMemory peak;
};

TRun RunStation(size_t devices, milliseconds replyDelay) {
    DevicePlayer player(devices, [replyDelay](size_t, const std::string& request) {
        return DevicePlayer::Reply{"ACK" + request.substr(3) + "\r", replyDelay};
    });
    std::vector<std::string> args{PORTWELL_CLI_PATH, "run"};
    for (size_t i = 0; i < devices; ++i)
        args.insert(args.end(), {"-d", player.Path(i)});
    args.push_back("-");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int input[2];
    if (pipe(input) != 0) throw std::runtime_error("pipe failed");
    const auto start = steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], 0);
        close(input[0]);
        close(input[1]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    [[maybe_unused]] const ssize_t n = write(input[1], Macro.data(), Macro.size());
    close(input[1]);
    TRun run;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        const TMemory now = MemoryOf(pid);
        if (now.rssKb > run.peak.rssKb) run.peak = now;
        std::this_thread::sleep_for(10ms);
    }
    run.seconds = duration<double>(steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the station run failed on " + std::to_string(devices) +
                                 " devices");
    return run;
}

TRun BestOf(size_t devices, milliseconds replyDelay) {
    TRun best;
    for (int round = 0; round < Rounds; ++round) {
        const TRun run = RunStation(devices, replyDelay);
        if (round == 0 || run.seconds < best.seconds) best.seconds = run.seconds;
        if (run.peak.rssKb > best.peak.rssKb) best.peak = run.peak;
    }
    return best;
}

void Compare(milliseconds replyDelay) {
    std::printf("Devices that answer %s:\n",
                replyDelay.count() == 0
                    ? "at once"
                    : ("after " + std::to_string(replyDelay.count()) + " ms").c_str());
    const TRun one = BestOf(1, replyDelay);
    std::printf("  1 device:   %.3f s\n", one.seconds);
    const TRun many = BestOf(ManyDevices, replyDelay);
    std::printf("  %zu devices: %.3f s, %.1f times one device's time (target: close to 1, not "
                "%zu)\n",
                ManyDevices, many.seconds, many.seconds / one.seconds, ManyDevices);
    std::printf("  memory at its peak, station and runs (%zu processes): %.1f MB resident, "
                "%.1f MB proportional (PSS), %.2f MB PSS per device\n",
                many.peak.processes, many.peak.rssKb / 1024.0, many.peak.pssKb / 1024.0,
                many.peak.pssKb / 1024.0 / double(ManyDevices));
}

} // namespace

int main() {
    std::printf("Station run, %d request-and-reply exchanges per device on pseudo-terminals "
                "(wall time, best of %d)\n",
                Exchanges, Rounds);
    Compare(0ms);
    Compare(5ms);
    return 0;
}
