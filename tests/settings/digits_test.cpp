// The number reader every text passes through, the baud rule and the start values.
#include <gtest/gtest.h>

#include <string>

#include "settings/inifile.h"

namespace {

TEST(DigitsToInt, KeepsOnlyTheDigits) {
    const struct {
        std::string text;
        std::int32_t value;
    } cases[] = {
        {"COM 12", 12},
        {"28800 Baud", 28800},
        {"007", 7},
        {"-5", 5},
        {"1.5", 15},
        {"0x1F", 1},
        {"$08000000", 8000000},
        {"COM 1 2", 12},
        {"2147483647", 2147483647},
        {"00000000000002147483647", 2147483647},  // leading zeros don't count towards the limit
        {"2147483648", 0},
        {"99999999999999999999999999", 0},
        {"2147483647 0", 0},
        {"", 0},
        {"Baud", 0},
        {"0", 0},
        {std::string("1\x00" "2", 3), 12},
        {"\xB2\xB3", 0},            // Latin-1 superscripts are no digits
        {"\xD9\xA3", 0},            // nor is an Arabic-Indic three in UTF-8
        {"Baudrate=\t115200\r", 115200},
    };
    for (const auto& c : cases) EXPECT_EQ(DigitsToInt(c.text), c.value) << "'" << c.text << "'";
}

TEST(Settings, BaudRule) {
    const struct {
        std::int32_t in, out;
    } cases[] = {
        {300, 38400}, {2399, 38400}, {2400, 2400},   {28800, 28800}, {115200, 115200},
        {115201, 38400}, {0, 38400}, {-9600, 38400}, {2147483647, 38400},
    };
    for (const auto& c : cases) {
        Ini.Baud = c.in;
        ApplyBaudRule();
        EXPECT_EQ(Ini.Baud, c.out) << c.in;
    }
}

TEST(Settings, StartValues) {
    Ini.HexDatei = "old.hex";
    Ini.ChipName = "old";
    ClearIni();
    EXPECT_EQ(Ini.Baud, 0);
    EXPECT_FALSE(Ini.ManuellTyp);
    EXPECT_TRUE(Ini.HexDatei.empty());

    SetIniDefaults("/opt/velkor/");
    EXPECT_EQ(Ini.Baud, 28800);
    EXPECT_EQ(Ini.ComNr, 1);
    EXPECT_EQ(Ini.ResetMode, 1);
    EXPECT_EQ(Ini.BootMode, 5);
    EXPECT_TRUE(Ini.ManuellTyp);
    EXPECT_TRUE(Ini.AutoErase);
    EXPECT_EQ(Ini.ChipName, "STM32F???");
    EXPECT_EQ(Ini.FlashStart, 0x08000000u);
    EXPECT_EQ(Ini.FlashLen, 0x40000u);
    EXPECT_EQ(Ini.KonfigDatei, "/opt/velkor/default.cfp");
    EXPECT_TRUE(Ini.HexDatei.empty());
}

}  // namespace
