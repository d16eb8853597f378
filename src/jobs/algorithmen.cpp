// The whole-chip jobs. Each moves 256-byte blocks through the bootloader
// commands, shows its progress, and ends with one closing text.
#include "jobs/algorithmen.h"

#include <algorithm>
#include <cstring>

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "jobs/session.h"
#include "platform/beep.h"
#include "platform/hex_text.h"
#include "platform/textfile.h"
#include "serial/comport.h"
#include "settings/inifile.h"

using platform::Hex2;
using platform::Hex8;
using platform::MessageBeep;

namespace {

constexpr auto kBlock = static_cast<std::uint32_t>(proto::kMaxBlock);
constexpr unsigned kBeepOk = 0;
constexpr unsigned kBeepFailure = 48;
constexpr unsigned kBeepBlank = 64;

void Show(platform::StatusBar& staBar, const std::string& text) {
    staBar.SetText(text);
    staBar.Repaint();
}

// The read jobs hold what they read in ReadImage; a flash longer than it is
// refused before anything is read. The blocks of a shorter one always fit,
// as block offsets below FlashLen are multiples of 256.
bool FitsReadImage(JobResult& refused) {
    if (Ini.FlashLen <= kImageSize) return true;
    refused = Ended(JobOutcome::OutOfRange, "Flashlänge $" + Hex8(Ini.FlashLen) + " zu gross");
    return false;
}

// BlankCheck and ReadOut read the whole flash; what no block brings stays blank.
void StartRead() {
    ReadBase = Ini.FlashStart;
    std::memset(ReadImage, 0xFF, kImageSize);
}

// Shows the progress text, then reads the block at offset from ReadBase.
bool ReadBlock(TComPort& port, platform::StatusBar& staBar, const std::string& progress, std::uint32_t offset,
               std::string& why) {
    Show(staBar, progress);
    return ReadMem(port, ReadBase + offset, proto::kMaxBlock, why);
}

// The offsets of the blocks that hold a part of a range, ascending.
std::vector<std::uint32_t> BlocksOf(const std::vector<TImageRange>& ranges) {
    std::vector<std::uint32_t> blocks;
    for (const TImageRange& r : ranges) {
        const std::uint32_t end = std::min(r.end, kImageSize);
        for (std::uint32_t b = r.begin / kBlock * kBlock; b < end; b += kBlock)
            if (blocks.empty() || blocks.back() < b) blocks.push_back(b);
    }
    return blocks;
}

}  // namespace

std::uint32_t UsedImageEnd() {
    for (std::uint32_t k = kImageSize; k > 0; --k)
        if (FlashImage[k - 1] != 0xFF) return ((k - 1) / kBlock + 1) * kBlock;
    return 0;
}

std::uint32_t ReadExtent() {
    const std::uint64_t blocks = (std::uint64_t{Ini.FlashLen} + kBlock - 1) / kBlock;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks * kBlock, 0xFFFFFFFFu));
}

JobResult ProgramFlash(TComPort& port, platform::StatusBar& staBar) {
    return ProgramRanges(port, staBar, {{0, UsedImageEnd()}});
}

JobResult VerifyFlash(TComPort& port, platform::StatusBar& staBar) {
    return VerifyRanges(port, staBar, {{0, UsedImageEnd()}});
}

JobResult ProgramRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges) {
    const std::vector<std::uint32_t> blocks = BlocksOf(ranges);
    if (blocks.empty()) return Ended(JobOutcome::NothingToDo, "nichts zu programmieren");
    std::uint64_t bytes = 0;
    for (const std::uint32_t offset : blocks) {
        Show(staBar, "programmiere $" + Hex8(offset));
        std::string why;
        if (!WriteMem(port, offset, proto::kMaxBlock, why)) {
            JobResult failed = Ended(JobOutcome::Refused, "Fehler: " + why, bytes);
            staBar.SetText(failed.text);
            MessageBeep(kBeepFailure);
            return failed;
        }
        bytes += kBlock;
    }
    MessageBeep(kBeepOk);
    return Ended(JobOutcome::Done, "..ende, programmiert bis " + Hex8(blocks.back() + kBlock), bytes);
}

JobResult VerifyRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges) {
    const std::vector<std::uint32_t> blocks = BlocksOf(ranges);
    if (blocks.empty()) return Ended(JobOutcome::NothingToDo, "nichts zu verifizieren");
    ReadBase = Ini.FlashStart;
    std::uint64_t bytes = 0;
    for (const std::uint32_t offset : blocks) {
        std::string why;
        if (!ReadBlock(port, staBar, "vergleiche $" + Hex8(offset), offset, why)) {
            JobResult failed = Ended(JobOutcome::Refused, "Fehler bei $" + Hex8(offset), bytes);
            staBar.SetText(failed.text);
            return failed;
        }
        for (const TImageRange& r : ranges) {
            for (std::uint32_t k = std::max(r.begin, offset); k < std::min(r.end, offset + kBlock); ++k) {
                if (ReadImage[k] != FlashImage[k]) {
                    MessageBeep(kBeepFailure);
                    return Ended(JobOutcome::Mismatch,
                                 "Fehler bei " + Hex8(k) + " ist: " + Hex2(ReadImage[k]) + " soll: " + Hex2(FlashImage[k]),
                                 bytes);
                }
            }
        }
        bytes += kBlock;
    }
    MessageBeep(kBeepOk);
    return Ended(JobOutcome::Done, "..ende, verifiziert bis " + Hex8(blocks.back() + kBlock), bytes);
}

JobResult EraseChip(TComPort& port, platform::StatusBar& staBar) {
    TBootSession session(port);
    return EraseChip(session, staBar);
}

JobResult EraseChip(TBootSession& session, platform::StatusBar& staBar) {
    TComPort& port = session.Port();
    const JobResult noConnection = Ended(JobOutcome::NoConnection, "keine Verbindung zum Chip");
    if (!session.Connected()) Show(staBar, "Verbinde");
    if (!session.Ensure()) return noConnection;
    Show(staBar, "Lese Commands");
    const bool extended = ExtendedEraseListed(GetCommands(port));
    Show(staBar, "Disable ReadProtect");
    if (!ReadoutUnprotect(port)) return Ended(JobOutcome::Refused, "Fehler beim Readout Unprotect");
    // Both unprotect commands reset the chip: synchronise again after each.
    session.Drop();
    if (!session.Ensure()) return noConnection;
    Show(staBar, "Disable WriteProtect");
    if (!WriteUnprotect(port)) return Ended(JobOutcome::Refused, DiagText + "Fehler beim Write Unprotect");
    session.Drop();
    if (!session.Ensure()) return noConnection;
    Show(staBar, "Lösche");
    if (extended ? !EraseMemExt(port) : !EraseMem(port))
        return Ended(JobOutcome::Refused, DiagText + (extended ? "Fehler beim EraseMemExt" : "Fehler beim EraseMem"));
    return Ended(JobOutcome::Done, "Chip ist gelöscht");
}

bool ExtendedEraseListed(const std::string& commands) {
    bool extended = false;
    for (char c : commands) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b == proto::kErase) extended = false;
        if (b == proto::kExtendedErase) extended = true;
    }
    return extended;
}

JobResult BlankCheck(TComPort& port, platform::StatusBar& staBar) {
    JobResult refused;
    if (!FitsReadImage(refused)) return refused;
    port.Open();
    TBootSession session(port);
    return BlankCheck(session, staBar);
}

JobResult BlankCheck(TBootSession& session, platform::StatusBar& staBar) {
    JobResult refused;
    if (!FitsReadImage(refused)) return refused;
    TComPort& port = session.Port();
    if (!session.Ensure()) {
        MessageBeep(kBeepBlank);
        return Ended(JobOutcome::NoConnection, "Bootlader reagiert nicht");
    }
    if (GetCommands(port).empty()) {
        MessageBeep(kBeepBlank);
        return Ended(JobOutcome::NoReply, "keine Antwort vom Bootlader");
    }
    staBar.SetText("Bootlader ok.");
    StartRead();
    std::uint32_t offset = 0;
    for (; offset < Ini.FlashLen; offset += kBlock) {
        std::string why;
        if (!ReadBlock(port, staBar, "teste $" + Hex8(ReadBase + offset), offset, why))
            return Ended(JobOutcome::Refused, Hex8(offset) + " " + why, offset);
        for (std::uint32_t i = 0; i < kBlock; ++i) {
            if (ReadImage[offset + i] != 0xFF) {
                MessageBeep(kBeepBlank);
                return Ended(JobOutcome::NotBlank, "Chip nicht leer bei $" + Hex8(offset + i), offset);
            }
        }
    }
    return Ended(JobOutcome::Done, "Chip ist leer bis $" + Hex8(offset), offset);
}

JobResult ReadOut(const std::string& fileName, TComPort& port, platform::StatusBar& staBar) {
    TBootSession session(port);
    return ReadOut(fileName, session, staBar);
}

JobResult ReadOut(const std::string& fileName, TBootSession& session, platform::StatusBar& staBar) {
    JobResult refused;
    if (!FitsReadImage(refused)) {
        Show(staBar, refused.text);
        return refused;
    }
    TComPort& port = session.Port();
    platform::BinaryWriter file(fileName);  // a file that can't be created stops the job here
    if (!session.Connected()) staBar.SetText("verbinde..");
    if (!session.Ensure()) {
        staBar.SetText("keine Verbindung.");
        file.Close();
        return Ended(JobOutcome::NoConnection, "keine Verbindung.");
    }
    StartRead();
    const std::uint32_t length = Ini.FlashLen;
    std::uint32_t offset = 0;
    for (; offset < length; offset += kBlock) {
        std::string why;
        if (!ReadBlock(port, staBar, "lese $" + Hex8(ReadBase + offset), offset, why)) {
            JobResult failed = Ended(JobOutcome::Refused, Hex8(offset) + " " + why, offset);
            staBar.SetText(failed.text);
            file.Write(ReadImage, length);
            file.Close();
            return failed;
        }
    }
    file.Write(ReadImage, length);
    // Close is where a write the disk refused shows up: only then is it done.
    file.Close();
    JobResult done = Ended(JobOutcome::Done, "gelesen bis $" + Hex8(offset) + " fertig.", offset);
    Show(staBar, done.text);
    return done;
}
