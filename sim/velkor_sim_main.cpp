// velkor-sim: the simulated chip on a pseudo-terminal.
#include <csignal>
#include <cstring>
#include <iostream>

#include "platform/locations.h"
#include "platform/ports.h"
#include "platform/version.h"
#include "sim/options.h"
#include "sim/pty_server.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "velkor-sim " << platform::Version() << "\n";
            return 0;
        }
    // --link puts its COM<n> where the window and velkor-cli look.
    platform::SetPortsDir(platform::FindProgramFiles(platform::ExecutableDir()).portsDir);
    sim::SimOptions options;
    std::string error;
    if (!sim::ParseOptions(argc, argv, options, error)) {
        std::cerr << "velkor-sim: " << error << "\n" << sim::HelpText();
        return 2;
    }
    if (options.help) {
        std::cout << sim::HelpText();
        return 0;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;  // no SA_RESTART: poll returns at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return sim::ServePty(options, g_stop, std::cout, std::cerr);
}
