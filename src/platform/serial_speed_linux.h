// Line speeds that have no B-constant, through the kernel's termios2 (BOTHER).
// A translation unit of its own: <asm/termbits.h> and <termios.h> clash.
#pragma once

#include <cstdint>

namespace platform::kernel_speed {

// Both directions to baud; every other setting stays.
bool Set(int fd, std::uint32_t baud);
// The output speed in bit/s, whatever way it was set.
bool Get(int fd, std::uint32_t& baud);

}  // namespace platform::kernel_speed
