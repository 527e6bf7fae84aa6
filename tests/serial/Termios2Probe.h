#pragma once
// The line settings as the kernel reports them through TCGETS2 (kept apart from <termios.h>).
#include <cstdint>

struct LineProbe {
    uint32_t iflag, oflag, cflag, lflag;
    uint8_t startChar, stopChar;
    uint32_t inputSpeed, outputSpeed;
    bool arbitrarySpeed; // BOTHER
};

LineProbe ProbeLine(int fd);
