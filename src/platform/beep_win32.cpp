#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

// The types are MessageBeep's own: 0 default, 48 MB_ICONEXCLAMATION, 64 MB_ICONASTERISK.
void OsMessageBeep(unsigned type) { ::MessageBeep(type); }

}  // namespace platform
