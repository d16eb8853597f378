// Runs a command list on one board, the way the window's buttons run the
// jobs, on one connection to the bootloader for the whole run.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/setup.h"
#include "cli/terminal_status.h"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Ini is set up; board names the port in Ini (for texts and read file names).
// Stops at the first command that fails. kExitOk or kExitFailed.
int RunCommands(const Request& request, const PortChoice& board, const std::vector<std::string>& targetItems,
                const Inputs& inputs, TerminalStatusBar& bar);

}  // namespace cli
