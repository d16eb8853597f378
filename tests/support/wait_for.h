// Waiting in real time for a condition, for the tests on pseudo-terminals,
// COM ports and whole programs. Header-only: the Windows tests take it too.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

inline constexpr int kRealTimeLimitMs = 5000;

// Polls cond every pollMs until it holds or limitMs of real time have passed.
template <typename Cond>
bool WaitFor(Cond cond, int limitMs = kRealTimeLimitMs, int pollMs = 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

}  // namespace testsupport
