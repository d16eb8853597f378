// The settings a run works with, built as the window builds them at start-up
// and first activation, and the checks that must pass before a port is opened.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"

namespace cli {

// Start values, then default.cfp beside the program (or --config), then the
// options, then the window's clamps and baud rule. port is the board this
// process runs on, or nullptr to keep the configured port. targetItems gets
// the chip list as the window shows it. False with a message for the user.
bool SetUpSettings(const Request& request, const PortChoice* port, std::vector<std::string>& targetItems,
                   std::string& error);

// The files named by the commands: HEX files readable and loadable into the
// flash image as the settings stand, read files creatable, and in a run on
// several boards a distinct read file per board.
bool CheckFiles(const Request& request, std::string& error);

}  // namespace cli
