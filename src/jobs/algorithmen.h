// Algorithmen: the whole-chip jobs, in 256-byte blocks. Progress goes to the
// status bar; each job leaves its closing text in message.
#pragma once

#include <string>

#include "platform/status_bar.h"

class TComPort;

// Caller has loaded the HEX file and connected.
void ProgramFlash(TComPort& port, platform::StatusBar& staBar, std::string& message);
void VerifyFlash(TComPort& port, platform::StatusBar& staBar, std::string& message);
// Connect themselves.
void EraseChip(TComPort& port, platform::StatusBar& staBar, std::string& message);
void BlankCheck(TComPort& port, platform::StatusBar& staBar, std::string& message);
// Writes Ini.FlashLen bytes from Ini.FlashStart into fileName; shows its own closing text.
void ReadOut(const std::string& fileName, TComPort& port, platform::StatusBar& staBar);
