/* LD_PRELOAD helper for host programs talking to a pseudo-terminal as if it
 * were a serial port. Linux ptys have no modem control lines, so raising DTR
 * or reading CTS fails with ENOTTY and some clients give up. Here those
 * requests succeed on a terminal: setting lines is a no-op and reading them
 * reports a cable with everything asserted. Everything else passes through.
 * Build: cc -shared -fPIC -o pty-modem-lines.so pty-modem-lines.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

int ioctl(int fd, unsigned long request, ...) {
    static int (*real_ioctl)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (!real_ioctl) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    int result = real_ioctl(fd, request, arg);
    if (result == -1 && errno == ENOTTY && isatty(fd)) {
        switch (request) {
        case TIOCMBIS:
        case TIOCMBIC:
        case TIOCMSET:
            return 0;
        case TIOCMGET:
            if (arg) *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
            return 0;
        default:
            break;
        }
    }
    return result;
}
