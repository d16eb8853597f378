#include "jobs/steps.h"

#include <algorithm>

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "jobs/algorithmen.h"
#include "jobs/session.h"
#include "platform/hex_text.h"

using platform::Hex8;

namespace {

void Show(platform::StatusBar& staBar, const std::string& text) {
    staBar.SetText(text);
    staBar.Repaint();
}

JobResult NoConnection() { return Ended(JobOutcome::NoConnection, "keine Verbindung zum Chip"); }

}  // namespace

std::string PageListText(const std::vector<std::uint16_t>& pages) {
    std::string out;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t k = i;
        while (k + 1 < pages.size() && pages[k + 1] == pages[k] + 1) ++k;
        if (!out.empty()) out += ", ";
        out += std::to_string(pages[i]);
        if (k > i) out += "-" + std::to_string(pages[k]);
        i = k + 1;
    }
    return out;
}

JobResult ErasePages(TBootSession& session, platform::StatusBar& staBar, const TPageLayout& layout,
                     const std::vector<std::uint16_t>& pages) {
    if (!session.Ensure()) return NoConnection();
    Show(staBar, "Lese Commands");
    const std::string commands = GetCommands(session.Port());
    if (commands.empty()) return Ended(JobOutcome::NoReply, "keine Antwort vom Bootlader");
    if (commands.find(static_cast<char>(proto::kErase)) == std::string::npos &&
        commands.find(static_cast<char>(proto::kExtendedErase)) == std::string::npos)
        return Ended(JobOutcome::Unsupported, "Bootlader ohne Erase (43) und Extended Erase (44)");
    const bool extended = ExtendedEraseListed(commands);
    for (const std::uint16_t p : pages) {
        if (p >= layout.sizes.size())
            return Ended(JobOutcome::OutOfRange,
                         "keine Seite " + std::to_string(p) + ": der Chip hat " + std::to_string(layout.sizes.size()));
        // Erase names a page in one byte.
        if (!extended && p > 0xFF)
            return Ended(JobOutcome::Unsupported,
                         "Seite " + std::to_string(p) + ": Erase (43) reicht nur bis Seite 255");
    }
    for (std::size_t from = 0; from < pages.size(); from += proto::kMaxEraseList) {
        const std::vector<std::uint16_t> chunk(
            pages.begin() + static_cast<std::ptrdiff_t>(from),
            pages.begin() + static_cast<std::ptrdiff_t>(std::min(pages.size(), from + proto::kMaxEraseList)));
        std::uint64_t kib = 0;
        for (const std::uint16_t p : chunk) kib += (layout.sizes[p] + 1023) / 1024;
        const auto doneMs = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(proto::kPageEraseBaseMs + kib * proto::kPageEraseMsPerKiB, 0xFFFFFFFFu));
        Show(staBar, "Lösche Seiten " + PageListText(chunk));
        const bool ok = extended ? ErasePageListExt(session.Port(), chunk, doneMs)
                                 : ErasePageList(session.Port(), chunk, doneMs);
        if (!ok)
            return Ended(JobOutcome::Refused,
                         DiagText + (extended ? "Fehler beim EraseMemExt" : "Fehler beim EraseMem"));
    }
    return Ended(JobOutcome::Done, "Seiten gelöscht: " + PageListText(pages));
}

JobResult StartProgram(TBootSession& session, platform::StatusBar& staBar, std::uint32_t address) {
    if (!session.Ensure()) return NoConnection();
    Show(staBar, "starte $" + Hex8(address));
    std::string why;
    const bool ok = Go(session.Port(), address, why);
    session.Drop();  // the chip runs its program, or the command stopped half-way
    return ok ? Ended(JobOutcome::Done, "gestartet bei $" + Hex8(address))
              : Ended(JobOutcome::Refused, "Fehler: " + why);
}

JobResult ProtectReadout(TBootSession& session, platform::StatusBar& staBar) {
    if (!session.Ensure()) return NoConnection();
    Show(staBar, "Enable ReadProtect");
    const bool ok = ReadoutProtect(session.Port());
    session.Drop();  // the bootloader resets the chip to put the protection in force
    return ok ? Ended(JobOutcome::Done, "Readout-Schutz gesetzt")
              : Ended(JobOutcome::Refused, DiagText + "Fehler beim Readout Protect");
}
