#pragma once
// The flood benchmarks' device: pty_flood in a process of its own, so that its writing costs the
// measured program nothing.
#include <QCoreApplication>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchsupport {

struct FloodResult {
    double Bytes = 0;   // written during the measured span
    double Seconds = 1; // the measured span
    double Total = 0;   // written in all
};

class FloodWriter {
public:
    explicit FloodWriter(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), PTY_FLOOD_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, PTY_FLOOD_PATH, &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " PTY_FLOOD_PATH);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        keepAlive = in[1];
        output = out[0];
        while (pending.find('\n') == std::string::npos)
            if (!ReadSome(-1)) throw std::runtime_error("pty_flood said nothing");
        path = pending.substr(0, pending.find('\n'));
        pending.erase(0, path.size() + 1);
    }
    ~FloodWriter() {
        close(keepAlive);
        close(output);
        waitpid(pid, nullptr, 0);
    }
    FloodWriter(const FloodWriter&) = delete;
    FloodWriter& operator=(const FloodWriter&) = delete;

    const std::string& Path() const { return path; }

    // The writer's report, once it has finished; nothing yet otherwise.
    std::optional<FloodResult> Poll() {
        ReadSome(0);
        FloodResult result;
        if (std::sscanf(pending.c_str(), "bytes %lf seconds %lf total %lf", &result.Bytes,
                        &result.Seconds, &result.Total) != 3)
            return std::nullopt;
        return result;
    }

    // Serves the window's events until the writer has finished.
    FloodResult WaitServing() {
        for (;;) {
            if (const auto result = Poll()) return *result;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            pollfd fd{output, POLLIN, 0};
            poll(&fd, 1, 10);
        }
    }

private:
    bool ReadSome(int timeoutMs) {
        pollfd fd{output, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0) return false;
        char buffer[256];
        const ssize_t n = read(output, buffer, sizeof buffer);
        if (n <= 0) return false;
        pending.append(buffer, size_t(n));
        return true;
    }

    pid_t pid = -1;
    int keepAlive = -1;
    int output = -1;
    std::string path;
    std::string pending;
};

} // namespace benchsupport
