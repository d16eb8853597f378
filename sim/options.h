// Command line of velkor-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/chip.h"

namespace sim {

struct SimOptions {
    ChipPreset preset = F103Preset();
    std::string flashFile;     // loaded at start, saved after every write and erase
    std::string optionsFile;   // the option bytes, the same way: a power cycle keeps them
    std::string logFile;       // "-": standard error
    bool wireTime = false;
    std::uint32_t latencyMs = 0;  // a USB adapter's latency timer; 0: none
    bool flashTime = true;
    std::int32_t link = 0;     // ports/COM<link>; 0: none
    std::string portsDir;      // empty: "ports" beside the executable
    bool readoutProtected = false;
    Faults faults;
    std::optional<std::uint64_t> hangUpAfter;  // bytes received
    bool help = false;
};

// False with a message in error on a bad command line.
bool ParseOptions(int argc, const char* const* argv, SimOptions& out, std::string& error);
std::string HelpText();

}  // namespace sim
