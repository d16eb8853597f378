#include "platform/serial_speed_linux.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform::kernel_speed {

bool Set(int fd, std::uint32_t baud, unsigned frameMask, unsigned frame) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    // Input speed bits 0 mean "same as output".
    t.c_cflag &= ~static_cast<tcflag_t>(frameMask | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | frame;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool Get(int fd, std::uint32_t& baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    baud = t.c_ospeed;
    return true;
}

}  // namespace platform::kernel_speed
