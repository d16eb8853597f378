// Settings record, flash and read-back images, and the number reader that
// every text passing into a setting goes through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TIniRec {
    std::int32_t Baud = 0;        // bit/s
    std::int32_t ComNr = 0;
    std::int32_t ResetMode = 0;   // line choice 0..4, see ResetLine
    std::int32_t BootMode = 0;    // line choice 0..4; 5 at start: not driven
    bool ManuellTyp = false;      // stored and shown only
    bool AutoErase = false;       // stored and shown only
    std::string ChipName;
    std::uint32_t FlashStart = 0; // chip address of FlashImage[0]
    std::uint32_t FlashLen = 0;   // bytes
    std::string KonfigDatei;
    std::string HexDatei;
};

extern TIniRec Ini;

inline constexpr std::uint32_t kImageSize = 0x200000;  // 2 MiB

// One static 4 MiB area, the flash image first.
struct TImages {
    std::uint8_t Flash[kImageSize];
    std::uint8_t Read[kImageSize];
};
extern TImages Images;

// FlashImage[k] belongs to chip address Ini.FlashStart + k; 0xFF is empty.
inline std::uint8_t (&FlashImage)[kImageSize] = Images.Flash;
// ReadImage[k] holds what was read from chip address ReadBase + k.
inline std::uint8_t (&ReadImage)[kImageSize] = Images.Read;
extern std::uint32_t ReadBase;

// The decimal digits of the whole text, wherever they stand; 0 when there
// are none or the value exceeds 2147483647. Never negative.
std::int32_t DigitsToInt(std::string_view text);

inline constexpr const char* kDefaultKonfigName = "default.cfp";

// All numbers 0, both flags false, all texts empty.
void ClearIni();
// The start values; KonfigDatei becomes exeDir + "default.cfp".
void SetIniDefaults(const std::string& exeDir);
// A Baud below 2400 or above 115200 becomes 38400.
void ApplyBaudRule();
