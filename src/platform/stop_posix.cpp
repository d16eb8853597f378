#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "platform/stop.h"

namespace platform {

namespace {

volatile std::sig_atomic_t g_stop = 0;
int g_pipe[2] = {-1, -1};

void OnStop(int signal) {
    const int saved = errno;
    g_stop = signal;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

void CatchStopSignals() {
    if (g_pipe[0] < 0 && ::pipe(g_pipe) == 0) {
        for (int fd : g_pipe) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        for (int fd : g_pipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a wait in poll() ends and looks at the clock again.
    sa.sa_flags = 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

int StopSignal() { return g_stop; }
void RequestStop(int signal) { g_stop = signal; }
int StopNotifier() { return g_pipe[0]; }

void DrainStopNotifier() {
    char drained[16];
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], drained, sizeof drained) > 0) {
    }
}

const char* StopSignalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "signal";
    }
}

}  // namespace platform
