// The identity table: what a line may say, and what it refuses with which reason.
#include "settings/identity.h"

#include <gtest/gtest.h>

namespace {

using Words = std::array<std::uint32_t, 3>;

TEST(IdentityTable, EntriesAndRefusals) {
    std::vector<TChipIdentity> table;
    std::string message;
    ASSERT_TRUE(ParseIdentityTable({"; ChipId;UID;FlashSize", "", " 410 ; 1FFFF7E8 ; 1FFFF7E0 ",
                                    "417;1FF80050, 1FF80054 ,1FF80064;1FF8007C", "4B0;-;-",
                                    "466;1FFF7590;1FFF75E0;1FFF7800/80/24"},
                                   table, message))
        << message;
    ASSERT_EQ(table.size(), 4u);
    // One address: the 12 bytes in a row.
    EXPECT_EQ(table[0].uidWords, (Words{0x1FFFF7E8, 0x1FFFF7EC, 0x1FFFF7F0}));
    EXPECT_EQ(table[0].flashSizeAt, 0x1FFFF7E0u);
    EXPECT_EQ(FindIdentity(table, 0x417)->uidWords, (Words{0x1FF80050, 0x1FF80054, 0x1FF80064}));
    EXPECT_FALSE(FindIdentity(table, 0x4B0)->uidWords.has_value());
    EXPECT_FALSE(FindIdentity(table, 0x4B0)->flashSizeAt.has_value());
    EXPECT_EQ(FindIdentity(table, 0x411), nullptr);
    EXPECT_FALSE(table[0].bootSelect.has_value());
    const auto g0 = FindIdentity(table, 0x466)->bootSelect;
    ASSERT_TRUE(g0.has_value());
    EXPECT_EQ(g0->optionsAt, 0x1FFF7800u);
    EXPECT_EQ(g0->optionsLength, 0x80u);
    EXPECT_EQ(g0->bit, 24u);

    const std::pair<std::string, std::string> refused[] = {
        {"410;1FFFF7E8", "line 2: not ChipId;UID;FlashSize[;BootSel] (2 fields)"},
        {"412;-;-;-;-", "line 2: not ChipId;UID;FlashSize[;BootSel] (5 fields)"},
        {"410A0;1FFFF7E8;1FFFF7E0", "line 2: the product ID '410A0' is not 1 to 4 hex digits"},
        {"412;0x1FFFF7E8;1FFFF7E0", "line 2: the UID '0x1FFFF7E8' is not one or three word addresses in hex, or '-'"},
        {"412;1FFFF7E9;1FFFF7E0", "line 2: the UID '1FFFF7E9' is not one or three word addresses in hex, or '-'"},
        {"412;1FF80050,1FF80054;-", "line 2: the UID '1FF80050,1FF80054' is not one or three word addresses in hex, or '-'"},
        {"412;FFFFFFF8;-", "line 2: the UID 'FFFFFFF8' is not one or three word addresses in hex, or '-'"},
        {"412;;1FFFF7E0", "line 2: the UID '' is not one or three word addresses in hex, or '-'"},
        {"412;-;1FFFF7E1", "line 2: the flash size address '1FFFF7E1' is not a half-word address in hex, or '-'"},
        {"412;-;-;1FFF7800/80", "line 2: the boot selection '1FFF7800/80' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;1FFF7800/80/1024", "line 2: the boot selection '1FFF7800/80/1024' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;1FFF7802/80/24", "line 2: the boot selection '1FFF7802/80/24' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;1FFF7800/101/24", "line 2: the boot selection '1FFF7800/101/24' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;1FFF7800/6/1", "line 2: the boot selection '1FFF7800/6/1' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;1FFF7800/80/x", "line 2: the boot selection '1FFF7800/80/x' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"412;-;-;FFFFFFFC/8/0", "line 2: the boot selection 'FFFFFFFC/8/0' is not ADDR/LEN/BIT (a word address and 4 to 100 bytes in hex, a bit inside them)"},
        {"0410;-;-", "line 2: product ID 0410 is on line 1 already"},
    };
    for (const auto& [line, why] : refused) {
        EXPECT_FALSE(ParseIdentityTable({"410;1FFFF7E8;1FFFF7E0", line}, table, message)) << line;
        EXPECT_EQ(message, why);
    }
}

}  // namespace
