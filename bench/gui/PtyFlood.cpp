// The device of the flood benchmarks: a pseudo-terminal whose far end this program writes to as
// fast as the reader takes the bytes (or at --rate bytes a second). The same writer serves every
// program measured, Portwell and its peers.
//
//   pty_flood [--rate BYTES_PER_S] [--seconds S] [--lines]
//
// It prints the device path on the first line, then writes. The measurement starts once the
// first 256 KB have gone through (the reader is reading by then) and lasts --seconds (10); the
// last line printed is "bytes BYTES seconds SECONDS total TOTAL" (the measured span, and all
// that was written), after which the
// program keeps the device open until its standard input closes. --lines sends text lines of
// 64 bytes ("line NNNNNNNNN ...\r\n") instead of one repeated byte.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    double rate = 0; // bytes a second; 0 for as fast as the reader takes them
    double seconds = 10;
    bool lines = false;
};

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rate" && i + 1 < argc) options.rate = std::atof(argv[++i]);
        if (arg == "--seconds" && i + 1 < argc) options.seconds = std::atof(argv[++i]);
        if (arg == "--lines") options.lines = true;
    }
    return options;
}

std::string Pattern(bool lines) {
    if (!lines) return std::string(4096, 'z');
    std::string text;
    for (int i = 0; i < 64; ++i) {
        char line[65];
        std::snprintf(line, sizeof line,
                      "line %09d abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJK\r\n", i);
        text.append(line, 64);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    int master = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    std::printf("%s\n", ttyname(slave));
    std::fflush(stdout);
    // The slave is held open so that the reader's open and close never hang the master up.
    const std::string pattern = Pattern(options.lines);
    const double warmUp = 256 * 1024;
    double written = 0, measured = 0;
    Clock::time_point start;
    bool measuring = false;
    size_t offset = 0;
    for (;;) {
        if (measuring &&
            std::chrono::duration<double>(Clock::now() - start).count() >= options.seconds)
            break;
        size_t chunk = pattern.size() - offset;
        if (options.rate > 0 && measuring) {
            const double due =
                options.rate * std::chrono::duration<double>(Clock::now() - start).count();
            if (measured >= due) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            chunk = std::min(chunk, size_t(due - measured) + 1);
        }
        const ssize_t n = write(master, pattern.data() + offset, chunk);
        if (n <= 0) {
            pollfd fd{master, POLLOUT, 0};
            poll(&fd, 1, 100);
            continue;
        }
        offset = (offset + size_t(n)) % pattern.size();
        written += double(n);
        if (measuring) measured += double(n);
        if (!measuring && written >= warmUp) {
            measuring = true;
            start = Clock::now();
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("bytes %.0f seconds %.3f total %.0f\n", measured, seconds, written);
    std::fflush(stdout);
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {}
    return 0;
}
