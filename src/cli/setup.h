// The settings a run works with, built as the window builds them at start-up
// and first activation, and the checks that must pass before a port is opened.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/options.h"
#include "settings/firmware.h"
#include "settings/identity.h"
#include "settings/pages.h"

namespace cli {

// Start values, then default.cfp beside the program (or --config), then the
// options, then the window's clamps and baud rule. port is the board this
// process runs on, or nullptr to keep the configured port. targetItems gets
// the chip list as the window shows it. False with a message for the user.
bool SetUpSettings(const Request& request, const PortChoice* port, std::vector<std::string>& targetItems,
                   std::string& error);

// What the commands read, read once before any port is opened: a pipe
// gives its bytes only once.
struct Inputs {
    std::map<std::string, TFirmware> firmware;  // by the name given
    std::vector<TPageLayout> pages;             // pages.cfi, when a command erases by pages
    std::vector<TChipIdentity> identity;        // identity.cfi; empty without it
};

// The files named by the commands: firmware files read as the settings
// stand, pages.cfi when a command erases by pages, read files creatable, and
// in a run on several boards a distinct read file per board and no stream
// (each board's process reads the files itself).
bool CheckFiles(const Request& request, Inputs& inputs, std::string& error);

}  // namespace cli
