// The start state every front end begins from: an empty image, the target
// table, the start values, the configuration, and a file named at start.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/locations.h"
#include "settings/targets.h"

struct TStartUp {
    std::string exeDir;              // where the program's files are looked for; empty: the executable's folder
    TChipList* chips = nullptr;      // gets one item per target
    // Read instead of the default configuration; it must exist.
    std::optional<std::string> konfigFile;
    // A missing default configuration is written with the start values. The
    // command line never writes it: a production line's runs mustn't race for it.
    bool writeKonfig = true;
    std::string argument;            // a .cfp read over the configuration, or a .hex taken as the HEX file
    // A file that can't be read is reported here, and start-up goes on with
    // what it has; without it the error is thrown.
    std::function<void(const std::string&)> report;
};

struct TStarted {
    platform::ProgramFiles files;
    bool konfigMissing = false;  // konfigFile doesn't exist: nothing was read from it
};

// Fills FlashImage with 0xFF, starts Ini afresh and sets it up. A front end's
// own settings come after this.
TStarted StartUp(const TStartUp& how);
