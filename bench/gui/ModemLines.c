// A preloaded shim for peers measured on a pseudo-terminal: a pseudo-terminal has no modem lines,
// and refuses the modem-line requests a real serial port answers (TIOCMGET and the like) with
// ENOTTY. A peer that stops at that refusal is given what an idle port with its lines up would
// answer; every other request, and every read and write, is the kernel's own.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

static int IsModemLineRequest(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
           request == TIOCMBIC;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*kernel)(int, unsigned long, ...);
    if (!kernel) *(void**)&kernel = dlsym(RTLD_NEXT, "ioctl");
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    const int result = kernel(fd, request, argument);
    if (result != -1 || errno != ENOTTY || !IsModemLineRequest(request)) return result;
    if (request == TIOCMGET)
        *(int*)argument = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
}
