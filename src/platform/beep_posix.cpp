#include <unistd.h>

#include "platform/console.h"

namespace platform {

// No system sound service to rely on: ring the terminal bell when there is
// one. The window installs a beep of its own.
void OsMessageBeep(unsigned /*type*/) {
    if (IsTerminal(stderr)) {
        const char bel = '\a';
        [[maybe_unused]] ssize_t n = write(STDERR_FILENO, &bel, 1);
    }
}

}  // namespace platform
