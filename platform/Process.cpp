#include "platform/Process.h"

#include "platform/Messages.h"

#include <cerrno>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool EscapableInDoubleQuotes(char c) {
    return c == '"' || c == '\\' || c == '$' || c == '`';
}

uint32_t ExitCodeOf(int status) {
    if (WIFEXITED(status)) return uint32_t(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + uint32_t(WTERMSIG(status));
    return uint32_t(-1);
}

std::optional<uint32_t> Await(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    return ExitCodeOf(status);
}

void ReapInBackground(pid_t pid) {
    std::thread([pid] { Await(pid); }).detach();
}

// Waits for the program to end unless an interrupt is requested first: a terminating signal must
// not wait on a program started to run to its end, which is then left to run and reaped when it
// ends. Without pidfd (Linux before 5.3) the wait cannot be interrupted.
std::optional<uint32_t> AwaitUnlessInterrupted(pid_t pid) {
    const int process = int(syscall(SYS_pidfd_open, pid, 0));
    if (process < 0) return Await(pid);
    pollfd fds[2] = {{process, POLLIN, 0}, {InterruptDescriptor(), POLLIN, 0}};
    bool ended = false;
    while (!ended && !InterruptRequested())
        ended = poll(fds, 2, -1) > 0 && fds[0].revents != 0;
    close(process);
    if (ended) return Await(pid);
    ReapInBackground(pid);
    return std::nullopt;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inWord = false;
    for (size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (IsBlank(c)) {
            if (inWord) args.push_back(std::move(current));
            current.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            for (++i; i < commandLine.size() && commandLine[i] != '\''; ++i)
                current += commandLine[i];
        } else if (c == '"') {
            for (++i; i < commandLine.size() && commandLine[i] != '"'; ++i) {
                if (commandLine[i] == '\\' && i + 1 < commandLine.size() &&
                    EscapableInDoubleQuotes(commandLine[i + 1]))
                    ++i;
                current += commandLine[i];
            }
        } else if (c == '\\' && i + 1 < commandLine.size()) {
            current += commandLine[++i];
        } else {
            current += c;
        }
    }
    if (inWord) args.push_back(std::move(current));
    return args;
}

Started StartProgram(const std::vector<std::string>& argv, bool wait) {
    Started result;
    if (argv.empty() || argv[0].empty()) return result;
    std::vector<char*> pointers;
    for (const std::string& a : argv)
        pointers.push_back(const_cast<char*>(a.c_str()));
    pointers.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
        return result;
    result.started = true;
    if (!wait) {
        ReapInBackground(pid);
        return result;
    }
    result.exitCode = AwaitUnlessInterrupted(pid);
    // Whatever ended the wait, a Stop or an interrupt turned into an abort by the host's hook,
    // is served before the caller's next step.
    ProcessMessages();
    return result;
}

uint32_t ShellOpen(const std::string& path) {
    constexpr uint32_t fileNotFound = 2, noAssociation = 31, success = 42;
    struct stat info;
    const bool looksLocal = path.find("://") == std::string::npos;
    if (path.empty() || (looksLocal && stat(path.c_str(), &info) != 0)) return fileNotFound;
    return StartProgram({"xdg-open", path}, false).started ? success : noAssociation;
}

} // namespace platform
