#include "settings/pages.h"

#include <algorithm>

#include "platform/hex_text.h"
#include "settings/id_table.h"

namespace {

using idtable::HexNumber;
using idtable::Trimmed;

std::string Hex(std::uint64_t a) { return "0x" + platform::Hex8(static_cast<std::uint32_t>(a)); }

bool Decimal(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// "128x1K": 128 pages of 1 KiB; "4x16384": 4 of 16384 bytes.
bool Run(const std::string& token, std::uint64_t& count, std::uint64_t& size) {
    const std::size_t x = token.find_first_of("xX");
    if (x == std::string::npos) return false;
    std::string sizeText = token.substr(x + 1);
    std::uint64_t unit = 1;
    if (!sizeText.empty() && (sizeText.back() == 'K' || sizeText.back() == 'k')) {
        unit = 1024;
        sizeText.pop_back();
    }
    if (!Decimal(token.substr(0, x), count) || !Decimal(sizeText, size)) return false;
    size *= unit;
    return count > 0 && size > 0;
}

bool ParseLine(const std::string& line, TPageLayout& layout, std::string& why) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
        const std::size_t semi = line.find(';', from);
        fields.push_back(Trimmed(line.substr(from, semi - from)));
        if (semi == std::string::npos) break;
        from = semi + 1;
    }
    if (fields.size() != 3) {
        why = "not ChipId;FlashStart;Pages (" + std::to_string(fields.size()) + " fields)";
        return false;
    }
    std::uint32_t id = 0;
    if (!HexNumber(fields[0], 4, id)) {
        why = "the product ID '" + fields[0] + "' is not 1 to 4 hex digits";
        return false;
    }
    layout.chipId = static_cast<std::uint16_t>(id);
    if (!HexNumber(fields[1], 8, layout.flashStart)) {
        why = "the flash start '" + fields[1] + "' is not 1 to 8 hex digits";
        return false;
    }
    std::uint64_t total = 0;
    for (std::size_t from = 0; from < fields[2].size();) {
        const std::size_t blank = fields[2].find_first_of(" \t", from);
        const std::string token = fields[2].substr(from, blank - from);
        from = blank == std::string::npos ? fields[2].size() : fields[2].find_first_not_of(" \t", blank);
        std::uint64_t count = 0, size = 0;
        if (!Run(token, count, size)) {
            why = "'" + token + "' is not COUNTxSIZE, such as 128x1K";
            return false;
        }
        if (count > kMaxPages || size > 0xFFFFFFFFu || layout.sizes.size() + count > kMaxPages) {
            why = "more than " + std::to_string(kMaxPages) + " pages";
            return false;
        }
        total += count * size;
        if (layout.flashStart + total > 0x100000000u) {
            why = "the pages run past address 0xFFFFFFFF";
            return false;
        }
        layout.sizes.insert(layout.sizes.end(), count, static_cast<std::uint32_t>(size));
    }
    if (layout.sizes.empty()) {
        why = "no pages";
        return false;
    }
    return true;
}

}  // namespace

std::uint64_t TPageLayout::End() const { return PageStart(*this, sizes.size()); }

std::uint64_t PageStart(const TPageLayout& layout, std::size_t page) {
    std::uint64_t at = layout.flashStart;
    for (std::size_t i = 0; i < page && i < layout.sizes.size(); ++i) at += layout.sizes[i];
    return at;
}

bool ParsePageTable(const std::vector<std::string>& lines, std::vector<TPageLayout>& table, std::string& message) {
    return idtable::Parse(lines, table, message, ParseLine);
}

bool LoadPageTable(const std::string& fileName, std::vector<TPageLayout>& table, std::string& message) {
    return ParsePageTable(idtable::ReadLines(fileName), table, message);
}

const TPageLayout* FindPageLayout(const std::vector<TPageLayout>& table, std::uint16_t chipId) {
    for (const auto& layout : table)
        if (layout.chipId == chipId) return &layout;
    return nullptr;
}

bool TouchedPages(const TPageLayout& layout, std::uint32_t imageBase, const std::vector<TImageRange>& ranges,
                  std::vector<std::uint16_t>& pages, std::string& message) {
    pages.clear();
    for (const TImageRange& r : ranges) {
        if (r.end <= r.begin) continue;
        const std::uint64_t first = std::uint64_t{imageBase} + r.begin;
        const std::uint64_t last = std::uint64_t{imageBase} + r.end - 1;
        if (first < layout.flashStart || last >= layout.End()) {
            message = Hex(first < layout.flashStart ? first : last) + " is outside the pages of product ID " +
                      platform::Hex4(layout.chipId) + " in " + kPagesFileName + " (" + Hex(layout.flashStart) + "–" +
                      Hex(layout.End() - 1) + ")";
            return false;
        }
        std::uint64_t at = layout.flashStart;
        for (std::size_t p = 0; p < layout.sizes.size() && at <= last; at += layout.sizes[p], ++p)
            if (at + layout.sizes[p] > first) pages.push_back(static_cast<std::uint16_t>(p));
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return true;
}
