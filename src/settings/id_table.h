// The chip tables that hold one line per product ID (pages.cfi,
// identity.cfi): the field helpers and the reading of the lines they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hex_text.h"

namespace idtable {

// Without blanks and tabs at either end.
std::string Trimmed(const std::string& text);
// At most digits hex digits, the whole text.
bool HexNumber(const std::string& text, std::size_t digits, std::uint32_t& value);
// Every line of a text file.
std::vector<std::string> ReadLines(const std::string& fileName);

// Each line that isn't blank or a ';' comment gives one entry through
// parse(line, entry, why); the first faulty line, or a product ID listed
// twice, ends the reading with its line number in message.
template <class Entry, class LineParser>
bool Parse(const std::vector<std::string>& lines, std::vector<Entry>& table, std::string& message, LineParser parse) {
    table.clear();
    std::vector<std::size_t> lineOf;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string line = Trimmed(lines[n]);
        if (line.empty() || line[0] == ';') continue;
        Entry entry;
        std::string why;
        if (!parse(line, entry, why)) {
            message = "line " + std::to_string(n + 1) + ": " + why;
            return false;
        }
        for (std::size_t k = 0; k < table.size(); ++k) {
            if (table[k].chipId == entry.chipId) {
                message = "line " + std::to_string(n + 1) + ": product ID " + platform::Hex4(entry.chipId) +
                          " is on line " + std::to_string(lineOf[k] + 1) + " already";
                return false;
            }
        }
        table.push_back(std::move(entry));
        lineOf.push_back(n);
    }
    return true;
}

}  // namespace idtable
