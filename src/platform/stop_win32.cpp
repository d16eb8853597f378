#include <windows.h>

#include <csignal>

#include "platform/stop.h"

namespace platform {

namespace {

volatile LONG g_stop = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: InterlockedExchange(&g_stop, SIGINT); return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: InterlockedExchange(&g_stop, SIGTERM); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void CatchStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
int StopSignal() { return static_cast<int>(g_stop); }
void RequestStop(int signal) { InterlockedExchange(&g_stop, signal); }
int StopNotifier() { return -1; }
void DrainStopNotifier() {}

const char* StopSignalName(int signal) {
    switch (signal) {
        case SIGINT: return "Ctrl-C";
        case SIGTERM: return "closing the console";
        default: return "signal";
    }
}

}  // namespace platform
