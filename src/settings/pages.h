// Page and sector layouts by product ID, from the table "pages.cfi" beside
// targets.cfi, which the user may extend. One chip a line:
//   ChipId;FlashStart;COUNTxSIZE COUNTxSIZE ...
// the erase units from the flash start on, numbered from 0 as the
// bootloader's erase commands count them, both banks of a two-bank chip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/image_range.h"

struct TPageLayout {
    std::uint16_t chipId = 0;
    std::uint32_t flashStart = 0;
    std::vector<std::uint32_t> sizes;  // page 0, 1, ... in bytes
    std::uint64_t End() const;         // one past the last page
};

inline constexpr const char* kPagesFileName = "pages.cfi";
// Page numbers from 0xFFF0 on are Extended Erase's special codes.
inline constexpr std::size_t kMaxPages = 0xFFF0;

// False with "line N: why" at the first line that isn't a comment, empty,
// or a layout; a product ID listed twice is refused too.
bool ParsePageTable(const std::vector<std::string>& lines, std::vector<TPageLayout>& table, std::string& message);
// The file's lines through the text file reader; a file that can't be read throws FileError.
bool LoadPageTable(const std::string& fileName, std::vector<TPageLayout>& table, std::string& message);
const TPageLayout* FindPageLayout(const std::vector<TPageLayout>& table, std::uint16_t chipId);

// The pages that the image ranges touch, with image offset 0 at chip address
// imageBase: ascending, each once. False when a range lies outside the layout.
bool TouchedPages(const TPageLayout& layout, std::uint32_t imageBase, const std::vector<TImageRange>& ranges,
                  std::vector<std::uint16_t>& pages, std::string& message);
// Where page n begins.
std::uint64_t PageStart(const TPageLayout& layout, std::size_t page);
