#include "settings/identity.h"

#include "platform/hex_text.h"
#include "settings/id_table.h"

namespace {

using idtable::HexNumber;
using idtable::Trimmed;

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    for (std::size_t from = 0;;) {
        const std::size_t next = text.find(at, from);
        parts.push_back(Trimmed(text.substr(from, next - from)));
        if (next == std::string::npos) return parts;
        from = next + 1;
    }
}

bool ParseLine(const std::string& line, TChipIdentity& entry, std::string& why) {
    const std::vector<std::string> fields = Split(line, ';');
    if (fields.size() != 3 && fields.size() != 4) {
        why = "not ChipId;UID;FlashSize[;BootSel] (" + std::to_string(fields.size()) + " fields)";
        return false;
    }
    std::uint32_t id = 0;
    if (!HexNumber(fields[0], 4, id)) {
        why = "the product ID '" + fields[0] + "' is not 1 to 4 hex digits";
        return false;
    }
    entry.chipId = static_cast<std::uint16_t>(id);
    if (fields[1] != "-") {
        const std::vector<std::string> words = Split(fields[1], ',');
        std::array<std::uint32_t, 3> at{};
        bool ok = words.size() == 1 || words.size() == 3;
        for (std::size_t i = 0; ok && i < words.size(); ++i) ok = HexNumber(words[i], 8, at[i]);
        // Twelve bytes in a row must not run past the top of the address space.
        if (words.size() == 1) {
            ok = ok && at[0] <= 0xFFFFFFF4u;
            at = {at[0], at[0] + 4, at[0] + 8};
        }
        for (std::uint32_t a : at) ok = ok && a % 4 == 0;
        if (!ok) {
            why = "the UID '" + fields[1] + "' is not one or three word addresses in hex, or '-'";
            return false;
        }
        entry.uidWords = at;
    }
    if (fields[2] != "-") {
        std::uint32_t at = 0;
        if (!HexNumber(fields[2], 8, at) || at % 2 != 0 || at == 0xFFFFFFFEu) {
            why = "the flash size address '" + fields[2] + "' is not a half-word address in hex, or '-'";
            return false;
        }
        entry.flashSizeAt = at;
    }
    if (fields.size() == 4) {
        const std::vector<std::string> parts = Split(fields[3], '/');
        TBootSelect b;
        bool ok = parts.size() == 3 && HexNumber(parts[0], 8, b.optionsAt) && HexNumber(parts[1], 3, b.optionsLength) &&
                  !parts[2].empty() && parts[2].size() <= 4 &&
                  parts[2].find_first_not_of("0123456789") == std::string::npos;
        if (ok) b.bit = static_cast<std::uint32_t>(std::stoul(parts[2]));
        ok = ok && b.optionsLength >= 4 && b.optionsLength <= 256 && b.optionsLength % 4 == 0 &&
             b.optionsAt % 4 == 0 && b.optionsAt <= 0xFFFFFFFFu - (b.optionsLength - 1) && b.bit < b.optionsLength * 8;
        if (!ok) {
            why = "the boot selection '" + fields[3] + "' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in "
                  "hex, a bit inside them)";
            return false;
        }
        entry.bootSelect = b;
    }
    return true;
}

}  // namespace

bool ParseIdentityTable(const std::vector<std::string>& lines, std::vector<TChipIdentity>& table, std::string& message) {
    return idtable::Parse(lines, table, message, ParseLine);
}

bool LoadIdentityTable(const std::string& fileName, std::vector<TChipIdentity>& table, std::string& message) {
    return ParseIdentityTable(idtable::ReadLines(fileName), table, message);
}

const TChipIdentity* FindIdentity(const std::vector<TChipIdentity>& table, std::uint16_t chipId) {
    for (const auto& entry : table)
        if (entry.chipId == chipId) return &entry;
    return nullptr;
}
