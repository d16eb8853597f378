// Where a chip keeps its 96-bit unique ID and its flash size register, by
// product ID, from the table "identity.cfi" beside pages.cfi. One chip a line:
//   ChipId;UID;FlashSize[;BootSel]
// all in hex without prefix. UID is the address of the 12 bytes, or three
// word addresses a,b,c where the reference manual scatters them (L0, L1);
// FlashSize the address of the 16-bit size in KiB. '-' where the manual
// documents none. BootSel, only for families whose option bits can take the
// boot choice from the BOOT0 pin (G0, C0): ADDR/LEN/BIT, the option bytes as
// Read and Write Memory reach them (address and length in hex) and the
// number of the nBOOT_SEL bit counted from their first byte (decimal, as the
// manual numbers the bits of FLASH_OPTR).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// nBOOT_SEL set: option bits choose the boot source, not the pin.
struct TBootSelect {
    std::uint32_t optionsAt = 0;
    std::uint32_t optionsLength = 0;  // 4 to 256, a multiple of 4
    std::uint32_t bit = 0;            // below optionsLength * 8
};

struct TChipIdentity {
    std::uint16_t chipId = 0;
    // UID[31:0], UID[63:32], UID[95:64], each read as 4 bytes.
    std::optional<std::array<std::uint32_t, 3>> uidWords;
    std::optional<std::uint32_t> flashSizeAt;
    std::optional<TBootSelect> bootSelect;
};

inline constexpr const char* kIdentityFileName = "identity.cfi";

// False with "line N: why" at the first line that isn't a comment, empty or
// an entry; a product ID listed twice is refused too.
bool ParseIdentityTable(const std::vector<std::string>& lines, std::vector<TChipIdentity>& table, std::string& message);
// The file's lines through the text file reader; a file that can't be read throws FileError.
bool LoadIdentityTable(const std::string& fileName, std::vector<TChipIdentity>& table, std::string& message);
const TChipIdentity* FindIdentity(const std::vector<TChipIdentity>& table, std::uint16_t chipId);
