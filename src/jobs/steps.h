// Job steps that only the command line runs: erase given pages or sectors,
// start the program, protect the flash. Each connects when its session
// isn't, and returns how it ended with its closing text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/result.h"
#include "platform/status_bar.h"
#include "settings/pages.h"

class TBootSession;

// Erase (0x43) or Extended Erase (0x44), whichever the bootloader lists,
// with at most 255 pages to a command; page numbers as layout counts them.
JobResult ErasePages(TBootSession& session, platform::StatusBar& staBar, const TPageLayout& layout,
                     const std::vector<std::uint16_t>& pages);
// Go (0x21): the chip runs the program at address; the session ends.
JobResult StartProgram(TBootSession& session, platform::StatusBar& staBar, std::uint32_t address);
// Readout Protect (0x82); the chip resets, so the session ends.
JobResult ProtectReadout(TBootSession& session, platform::StatusBar& staBar);

// "0-3, 8, 10-12": page numbers ascending.
std::string PageListText(const std::vector<std::uint16_t>& pages);
