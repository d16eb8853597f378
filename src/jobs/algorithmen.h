// Algorithmen: the whole-chip jobs, in 256-byte blocks. Progress goes to the
// status bar; each job leaves its closing text in message.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status_bar.h"

class TComPort;

// Offset just past the block that holds the last byte of FlashImage other
// than 0xFF: the extent the program and verify jobs cover. 0 when empty.
std::uint32_t UsedImageEnd();
// Ini.FlashLen rounded up to whole blocks: the extent the blank check and the
// read-out cover.
std::uint32_t ReadExtent();

// Caller has loaded the HEX file and connected.
void ProgramFlash(TComPort& port, platform::StatusBar& staBar, std::string& message);
void VerifyFlash(TComPort& port, platform::StatusBar& staBar, std::string& message);
// Connect themselves.
void EraseChip(TComPort& port, platform::StatusBar& staBar, std::string& message);
void BlankCheck(TComPort& port, platform::StatusBar& staBar, std::string& message);
// Writes Ini.FlashLen bytes from Ini.FlashStart into fileName; shows its own closing text.
void ReadOut(const std::string& fileName, TComPort& port, platform::StatusBar& staBar);
