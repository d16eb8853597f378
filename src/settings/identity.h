// Where a chip keeps its 96-bit unique ID and its flash size register, by
// product ID, from the table "identity.cfi" beside pages.cfi. One chip a line:
//   ChipId;UID;FlashSize
// all in hex without prefix. UID is the address of the 12 bytes, or three
// word addresses a,b,c where the reference manual scatters them (L0, L1);
// FlashSize the address of the 16-bit size in KiB. '-' where the manual
// documents none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TChipIdentity {
    std::uint16_t chipId = 0;
    // UID[31:0], UID[63:32], UID[95:64], each read as 4 bytes.
    std::optional<std::array<std::uint32_t, 3>> uidWords;
    std::optional<std::uint32_t> flashSizeAt;
};

inline constexpr const char* kIdentityFileName = "identity.cfi";

// False with "line N: why" at the first line that isn't a comment, empty or
// an entry; a product ID listed twice is refused too.
bool ParseIdentityTable(const std::vector<std::string>& lines, std::vector<TChipIdentity>& table, std::string& message);
// The file's lines through the text file reader; a file that can't be read throws FileError.
bool LoadIdentityTable(const std::string& fileName, std::vector<TChipIdentity>& table, std::string& message);
const TChipIdentity* FindIdentity(const std::vector<TChipIdentity>& table, std::uint16_t chipId);
