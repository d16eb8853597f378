// What may run while the program waits on the line or between the blocks of
// a job: the window answers its window manager and repaints. The library
// never depends on it; with no hook installed a wait just waits.
#pragma once

#include <cstdint>

namespace platform {

class WaitHook {
public:
    virtual ~WaitHook() = default;
    // Must not run any of the program's handlers.
    virtual void WhileWaiting() = 0;
};

// nullptr removes the hook.
void SetWaitHook(WaitHook* hook);
// Runs the installed hook, if any.
void WhileWaiting();

// The longest stretch a wait goes without running the hook.
inline constexpr std::uint32_t kWaitSliceMs = 50;

}  // namespace platform
