// Algorithmen: the whole-chip jobs, in 256-byte blocks. Progress goes to the
// status bar; each job returns how it ended, with its closing text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/result.h"
#include "platform/status_bar.h"
#include "settings/image_range.h"

class TComPort;
class TBootSession;

// Offset just past the block that holds the last byte of FlashImage other
// than 0xFF: the extent the program and verify jobs cover. 0 when empty.
std::uint32_t UsedImageEnd();
// Ini.FlashLen rounded up to whole blocks: the extent the blank check and the
// read-out cover.
std::uint32_t ReadExtent();

// Caller has loaded the HEX file and connected.
JobResult ProgramFlash(TComPort& port, platform::StatusBar& staBar);
JobResult VerifyFlash(TComPort& port, platform::StatusBar& staBar);
// Connect themselves.
JobResult EraseChip(TComPort& port, platform::StatusBar& staBar);
JobResult BlankCheck(TComPort& port, platform::StatusBar& staBar);
// Writes Ini.FlashLen bytes from Ini.FlashStart into fileName; shows its own
// closing text. A file that can't be created or written throws FileError.
JobResult ReadOut(const std::string& fileName, TComPort& port, platform::StatusBar& staBar);

// The same for an image that holds data only in some ranges (ascending, as
// a firmware file fills them): the blocks that hold a part of one, with the
// texts and beeps of ProgramFlash and VerifyFlash. The verify compares the
// bytes inside the ranges only. ProgramFlash is the one range from offset 0.
JobResult ProgramRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges);
JobResult VerifyRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges);
// The connecting jobs on a session: they connect only where it isn't, and
// again after the commands that reset the chip.
JobResult EraseChip(TBootSession& session, platform::StatusBar& staBar);
JobResult BlankCheck(TBootSession& session, platform::StatusBar& staBar);
JobResult ReadOut(const std::string& fileName, TBootSession& session, platform::StatusBar& staBar);

// Whether a Get Commands reply asks for Extended Erase: of 0x43 and 0x44, the
// last one in the reply counts; neither means Erase.
bool ExtendedEraseListed(const std::string& commands);
