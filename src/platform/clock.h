// Millisecond tick count. Every wait of the program is a busy loop on it.
#pragma once

#include <cstdint>

namespace platform {

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t NowMs() = 0;
};

// Monotonic, 32-bit, wraps after 49.7 days.
std::uint32_t TickCount();
// Tests install a virtual clock; nullptr puts the OS clock back.
void SetTickSource(TickSource* source);
// The OS clock itself, whatever source is installed: for the waits on a
// device, which a virtual clock must not drive.
std::uint32_t OsTickCount();

// True while less than limitMs have passed since start. Works across the
// 32-bit wrap because it compares the elapsed time, not a deadline.
inline bool Within(std::uint32_t start, std::uint32_t limitMs) {
    return static_cast<std::uint32_t>(TickCount() - start) < limitMs;
}

}  // namespace platform
