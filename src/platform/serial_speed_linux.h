// The line's speed and frame through the kernel's termios2 (BOTHER): every
// rate, B-constant or not, in one call. A translation unit of its own:
// <asm/termbits.h> and <termios.h> clash (their c_cflag bits are the same).
#pragma once

#include <cstdint>

namespace platform::kernel_speed {

// Both directions to baud and the c_cflag bits under frameMask to frame;
// every other setting stays.
bool Set(int fd, std::uint32_t baud, unsigned frameMask, unsigned frame);
// The output speed in bit/s, whatever way it was set.
bool Get(int fd, std::uint32_t& baud);

}  // namespace platform::kernel_speed
