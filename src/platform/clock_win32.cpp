#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/clock.h"

namespace platform {

// Milliseconds since boot; wraps after 49.7 days like the interface says.
std::uint32_t OsTickCount() { return GetTickCount(); }

void OsSleepMs(std::uint32_t ms) { Sleep(ms); }

}  // namespace platform
