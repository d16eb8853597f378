// Page layout table: any text is taken or refused with its line; a table
// taken has each product ID once, pages that fit the address space, and
// gives each page of a layout once for a range over all of it.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "settings/firmware.h"
#include "settings/pages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = TextLines(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<TPageLayout> table;
    std::string message;
    if (!ParsePageTable(lines, table, message)) {
        FUZZ_CHECK(message.rfind("line ", 0) == 0 && std::stoul(message.substr(5)) <= lines.size());
        return 0;
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TPageLayout& t = table[i];
        FUZZ_CHECK(!t.sizes.empty() && t.sizes.size() <= kMaxPages && t.End() <= 0x100000000u);
        FUZZ_CHECK(FindPageLayout(table, t.chipId) == &t);
    }
    if (table.empty()) return 0;
    const TPageLayout& first = table.front();
    const std::uint64_t length = std::min<std::uint64_t>(first.End() - first.flashStart, 0x200000);
    std::vector<std::uint16_t> pages;
    FUZZ_CHECK(TouchedPages(first, first.flashStart, {{0, static_cast<std::uint32_t>(length)}}, pages, message));
    FUZZ_CHECK(!pages.empty() && pages.front() == 0);
    for (std::size_t i = 1; i < pages.size(); ++i) FUZZ_CHECK(pages[i] == pages[i - 1] + 1);
    FUZZ_CHECK(PageStart(first, pages.size()) >= first.flashStart + length);
    return 0;
}
