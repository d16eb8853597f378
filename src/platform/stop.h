// A stop asked for from outside the program: SIGINT, SIGTERM or SIGHUP, or
// Ctrl-C on a Windows console. From then on every wait on the clock ends at
// once, as if timed out, so the job in progress stops at its next wait and no
// job starts another step. The front end then releases the chip and the port
// and ends with StopExitCode.
#pragma once

namespace platform {

// Installs the handlers.
void CatchStopSignals();
// The signal that asked for the stop; 0 while none did.
int StopSignal();
// Sets or (0) clears the stop: the handlers, and the tests.
void RequestStop(int signal);
// POSIX: a descriptor that becomes readable when a stop comes, for an event
// loop that sleeps in the kernel; -1 where there is none.
int StopNotifier();
// Empties it, so that it sleeps again.
void DrainStopNotifier();
// The exit status that says which signal stopped the program: 128 + signal.
inline int StopExitCode(int signal) { return 128 + signal; }
// "SIGTERM" and the like.
const char* StopSignalName(int signal);

}  // namespace platform
