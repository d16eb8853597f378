// The ioctl calls of the POSIX serial service pass through here, so that a
// test can watch them and play a driver that a pseudo-terminal isn't (one
// with low-latency mode, for instance).
#pragma once

namespace platform::posix {

using IoctlCall = int (*)(int fd, unsigned long request, void* arg);

// nullptr puts the system's ioctl back.
void SetIoctl(IoctlCall call);
// The system's ioctl, for a test's call to pass on to.
int SystemIoctl(int fd, unsigned long request, void* arg);

}  // namespace platform::posix
