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
bool FitsReadImage(std::string& message) {
    if (Ini.FlashLen <= kImageSize) return true;
    message = "Flashlänge $" + Hex8(Ini.FlashLen) + " zu gross";
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

void ProgramFlash(TComPort& port, platform::StatusBar& staBar, std::string& message) {
    ProgramRanges(port, staBar, {{0, UsedImageEnd()}}, message);
}

void VerifyFlash(TComPort& port, platform::StatusBar& staBar, std::string& message) {
    VerifyRanges(port, staBar, {{0, UsedImageEnd()}}, message);
}

void ProgramRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges,
                   std::string& message) {
    message = "nichts zu programmieren";
    const std::vector<std::uint32_t> blocks = BlocksOf(ranges);
    if (blocks.empty()) return;
    for (const std::uint32_t offset : blocks) {
        Show(staBar, "programmiere $" + Hex8(offset));
        std::string why;
        if (!WriteMem(port, offset, proto::kMaxBlock, why)) {
            message = "Fehler: " + why;
            staBar.SetText(message);
            MessageBeep(kBeepFailure);
            return;
        }
    }
    MessageBeep(kBeepOk);
    message = "..ende, programmiert bis " + Hex8(blocks.back() + kBlock);
}

void VerifyRanges(TComPort& port, platform::StatusBar& staBar, const std::vector<TImageRange>& ranges,
                  std::string& message) {
    message = "nichts zu verifizieren";
    const std::vector<std::uint32_t> blocks = BlocksOf(ranges);
    if (blocks.empty()) return;
    ReadBase = Ini.FlashStart;
    for (const std::uint32_t offset : blocks) {
        std::string why;
        if (!ReadBlock(port, staBar, "vergleiche $" + Hex8(offset), offset, why)) {
            message = "Fehler bei $" + Hex8(offset);
            staBar.SetText(message);
            return;
        }
        for (const TImageRange& r : ranges) {
            for (std::uint32_t k = std::max(r.begin, offset); k < std::min(r.end, offset + kBlock); ++k) {
                if (ReadImage[k] != FlashImage[k]) {
                    message = "Fehler bei " + Hex8(k) + " ist: " + Hex2(ReadImage[k]) + " soll: " + Hex2(FlashImage[k]);
                    MessageBeep(kBeepFailure);
                    return;
                }
            }
        }
    }
    MessageBeep(kBeepOk);
    message = "..ende, verifiziert bis " + Hex8(blocks.back() + kBlock);
}

void EraseChip(TComPort& port, platform::StatusBar& staBar, std::string& message) {
    TBootSession session(port);
    EraseChip(session, staBar, message);
}

void EraseChip(TBootSession& session, platform::StatusBar& staBar, std::string& message) {
    TComPort& port = session.Port();
    const auto connected = [&] {
        if (session.Ensure()) return true;
        message = "keine Verbindung zum Chip";
        return false;
    };
    if (!session.Connected()) Show(staBar, "Verbinde");
    if (!connected()) return;
    Show(staBar, "Lese Commands");
    const bool extended = ExtendedEraseListed(GetCommands(port));
    Show(staBar, "Disable ReadProtect");
    if (!ReadoutUnprotect(port)) {
        message = "Fehler beim Readout Unprotect";
        return;
    }
    // Both unprotect commands reset the chip: synchronise again after each.
    session.Drop();
    if (!connected()) return;
    Show(staBar, "Disable WriteProtect");
    if (!WriteUnprotect(port)) {
        message = DiagText + "Fehler beim Write Unprotect";
        return;
    }
    session.Drop();
    if (!connected()) return;
    Show(staBar, "Lösche");
    if (extended ? !EraseMemExt(port) : !EraseMem(port)) {
        message = DiagText + (extended ? "Fehler beim EraseMemExt" : "Fehler beim EraseMem");
        return;
    }
    message = "Chip ist gelöscht";
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

void BlankCheck(TComPort& port, platform::StatusBar& staBar, std::string& message) {
    if (!FitsReadImage(message)) return;
    port.Open();
    TBootSession session(port);
    BlankCheck(session, staBar, message);
}

void BlankCheck(TBootSession& session, platform::StatusBar& staBar, std::string& message) {
    if (!FitsReadImage(message)) return;
    TComPort& port = session.Port();
    if (!session.Ensure()) {
        message = "Bootlader reagiert nicht";
        MessageBeep(kBeepBlank);
        return;
    }
    if (GetCommands(port).empty()) {
        message = "keine Antwort vom Bootlader";
        MessageBeep(kBeepBlank);
        return;
    }
    staBar.SetText("Bootlader ok.");
    StartRead();
    std::uint32_t offset = 0;
    for (; offset < Ini.FlashLen; offset += kBlock) {
        std::string why;
        if (!ReadBlock(port, staBar, "teste $" + Hex8(ReadBase + offset), offset, why)) {
            message = Hex8(offset) + " " + why;
            return;
        }
        for (std::uint32_t i = 0; i < kBlock; ++i) {
            if (ReadImage[offset + i] != 0xFF) {
                message = "Chip nicht leer bei $" + Hex8(offset + i);
                MessageBeep(kBeepBlank);
                return;
            }
        }
    }
    message = "Chip ist leer bis $" + Hex8(offset);
}

void ReadOut(const std::string& fileName, TComPort& port, platform::StatusBar& staBar) {
    TBootSession session(port);
    ReadOut(fileName, session, staBar);
}

void ReadOut(const std::string& fileName, TBootSession& session, platform::StatusBar& staBar) {
    std::string refused;
    if (!FitsReadImage(refused)) {
        Show(staBar, refused);
        return;
    }
    TComPort& port = session.Port();
    platform::BinaryWriter file(fileName);  // a file that can't be created stops the job here
    if (!session.Connected()) staBar.SetText("verbinde..");
    if (!session.Ensure()) {
        staBar.SetText("keine Verbindung.");
        file.Close();
        return;
    }
    StartRead();
    const std::uint32_t length = Ini.FlashLen;
    std::uint32_t offset = 0;
    for (; offset < length; offset += kBlock) {
        std::string why;
        if (!ReadBlock(port, staBar, "lese $" + Hex8(ReadBase + offset), offset, why)) {
            staBar.SetText(Hex8(offset) + " " + why);
            file.Write(ReadImage, length);
            file.Close();
            return;
        }
    }
    file.Write(ReadImage, length);
    // Close is where a write the disk refused shows up: only then is it done.
    file.Close();
    Show(staBar, "gelesen bis $" + Hex8(offset) + " fertig.");
}
