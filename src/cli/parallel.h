// Several boards at once: the library keeps its state in globals, so each
// board gets a process of its own, a child running the same commands.
#pragma once

#include <string_view>

#include "cli/options.h"

namespace cli {

// A child's last line on standard error when it learnt its board's unique
// ID: the parent takes the ID for its summary and passes the line on to nobody.
inline constexpr std::string_view kBoardIdLine = "velkor-cli board ID: ";

// Starts one child per port, passes their output through with the port in
// front of every line, and prints a table of port, result and time.
// kExitOk when every child succeeded, else kExitFailed.
int RunParallel(const Request& request);

}  // namespace cli
