// Job steps that only the command line runs: erase given pages or sectors,
// start the program, protect the flash. Each connects when its session
// isn't, and gives its closing text in message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status_bar.h"
#include "settings/pages.h"

class TBootSession;

// Erase (0x43) or Extended Erase (0x44), whichever the bootloader lists,
// with at most 255 pages to a command; page numbers as layout counts them.
bool ErasePages(TBootSession& session, platform::StatusBar& staBar, const TPageLayout& layout,
                const std::vector<std::uint16_t>& pages, std::string& message);
// Go (0x21): the chip runs the program at address; the session ends.
bool StartProgram(TBootSession& session, platform::StatusBar& staBar, std::uint32_t address, std::string& message);
// Readout Protect (0x82); the chip resets, so the session ends.
bool ProtectReadout(TBootSession& session, platform::StatusBar& staBar, std::string& message);

// "0-3, 8, 10-12": page numbers ascending.
std::string PageListText(const std::vector<std::uint16_t>& pages);
