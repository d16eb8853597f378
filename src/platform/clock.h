// Millisecond tick count and sleep: every wait of the program measures its
// limit on the tick count and sleeps or blocks on the line in between.
#pragma once

#include <cstdint>

#include "platform/stop.h"

namespace platform {

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t NowMs() = 0;
    // A virtual clock advances by ms here.
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// Monotonic, 32-bit, wraps after 49.7 days.
std::uint32_t TickCount();
// Sleeps on the clock in force.
void SleepMs(std::uint32_t ms);
// Tests install a virtual clock; nullptr puts the OS clock back.
void SetTickSource(TickSource* source);
// The OS clock itself, whatever source is installed: for the waits on a
// device, which a virtual clock must not drive.
std::uint32_t OsTickCount();
void OsSleepMs(std::uint32_t ms);

// True while less than limitMs have passed since start. Works across the
// 32-bit wrap because it compares the elapsed time, not a deadline. A stop
// asked for from outside ends every wait.
inline bool Within(std::uint32_t start, std::uint32_t limitMs) {
    return StopSignal() == 0 && static_cast<std::uint32_t>(TickCount() - start) < limitMs;
}

// What is left of limitMs since start, by the same comparison; 0 once Within
// is false.
inline std::uint32_t Remaining(std::uint32_t start, std::uint32_t limitMs) {
    const auto elapsed = static_cast<std::uint32_t>(TickCount() - start);
    return StopSignal() == 0 && elapsed < limitMs ? limitMs - elapsed : 0;
}

}  // namespace platform
