#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

bool ReadSome(int fd, std::string& into) {
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) into.append(buffer, size_t(n));
    return n > 0 || (n < 0 && errno == EINTR);
}

// A child may end before it reads its input: the test must then see its exit status, not die of
// SIGPIPE on the write. The child gets the default action back, so that it behaves as it would
// under a shell.
void IgnoreBrokenPipes(posix_spawnattr_t& attributes) {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipe);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // The child must not keep the test's descriptors: a device side held open there would stop
    // the test from hanging it up.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<std::string> args = argv, env = Environment(options.environment);
    std::vector<char*> argp = Pointers(args), envp = Pointers(env);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    IgnoreBrokenPipes(attributes);
    if (options.signalGroup) { // a group of its own, as a terminal's Ctrl-C reaches
        short flags = 0;
        posix_spawnattr_getflags(&attributes, &flags);
        posix_spawnattr_setflags(&attributes, short(flags | POSIX_SPAWN_SETPGROUP));
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid;
    const int spawned = posix_spawn(&pid, argp[0], &actions, &attributes, argp.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    ChildResult result;
    if (spawned != 0) {
        close(in[1]), close(out[0]), close(err[0]);
        return result;
    }
    [[maybe_unused]] ssize_t written = write(in[1], options.input.data(), options.input.size());
    close(in[1]);

    const auto start = Clock::now();
    std::optional<Clock::time_point> signalled;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        const auto elapsed = Clock::now() - start;
        if (options.signal && !signalled && elapsed >= options.signalDelay &&
            result.out.find(options.signalAfterOutput) != std::string::npos &&
            result.err.find(options.signalAfterErrorOutput) != std::string::npos) {
            kill(options.signalGroup ? -pid : pid, *options.signal);
            signalled = Clock::now();
        }
        if (elapsed > options.timeout) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, 20) <= 0) continue;
        if (fds[0].revents) outOpen = ReadSome(out[0], result.out);
        if (fds[1].revents) errOpen = ReadSome(err[0], result.err);
    }
    if (signalled)
        result.endedAfterSignal =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *signalled);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

} // namespace testsupport
