#include <cstdio>

#include "cli/commands.h"
#include "cli/parallel.h"

namespace cli {

// The children need fork and exec; a CreateProcess version is not written yet.
int RunParallel(const Request&) {
    std::fprintf(stderr, "velkor-cli: several ports at once are not available on Windows yet\n");
    return kExitUsage;
}

}  // namespace cli
