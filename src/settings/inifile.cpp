#include "settings/inifile.h"

#include <cstring>

TIniRec Ini;
TImages Images;
std::uint32_t ReadBase = 0;

std::int32_t DigitsToInt(std::string_view text) {
    constexpr std::int64_t kMax = 2147483647;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        value = value * 10 + (c - '0');
        if (value > kMax) return 0;  // leading zeros never get here, so this is final
    }
    return static_cast<std::int32_t>(value);
}

void ClearIni() { Ini = TIniRec{}; }

void SetIniDefaults(const std::string& exeDir) {
    Ini.Baud = 28800;
    Ini.ComNr = 1;
    Ini.ResetMode = 1;  // "DTR hi"
    Ini.BootMode = 5;   // one past the last choice: the boot line is not driven
    Ini.ManuellTyp = true;
    Ini.AutoErase = true;
    Ini.ChipName = "STM32F???";
    Ini.FlashStart = 0x08000000;
    Ini.FlashLen = 0x40000;
    Ini.KonfigDatei = exeDir + kDefaultKonfigName;
    Ini.HexDatei.clear();
}

void ApplyBaudRule() {
    if (Ini.Baud < 2400 || Ini.Baud > 115200) Ini.Baud = 38400;
}
