// Chip presets: product IDs, memory maps and bootloader versions as AN2606
// and the reference manuals give them; times are data-sheet typical values.
#include <algorithm>
#include <cctype>

#include "sim/chip.h"

namespace sim {

namespace {

std::vector<EraseUnit> F4Sectors(std::uint32_t flashSize) {
    // 4 x 16 KiB, 64 KiB, then 128 KiB sectors; erase times at x32 parallelism.
    std::vector<EraseUnit> s;
    std::uint32_t total = 0;
    for (int i = 0; total < flashSize; ++i) {
        const EraseUnit u = i < 4 ? EraseUnit{16 * 1024, 250'000}
                            : i == 4 ? EraseUnit{64 * 1024, 550'000}
                                     : EraseUnit{128 * 1024, 1'000'000};
        s.push_back(u);
        total += u.size;
    }
    return s;
}

// X and Y on the wafer (BCD), the wafer number, the lot number in ASCII: the
// layout most reference manuals give; the values only have to differ.
std::vector<std::uint8_t> Uid(std::uint16_t x, std::uint16_t y, std::uint8_t wafer, const char (&lot)[8]) {
    std::vector<std::uint8_t> u(12);
    u[0] = static_cast<std::uint8_t>(x);
    u[1] = static_cast<std::uint8_t>(x >> 8);
    u[2] = static_cast<std::uint8_t>(y);
    u[3] = static_cast<std::uint8_t>(y >> 8);
    u[4] = wafer;
    for (std::size_t i = 0; i < 7; ++i) u[5 + i] = static_cast<std::uint8_t>(lot[i]);
    return u;
}

// The bootloaders of the G0, L4 and H7: protocol 3.1 with Extended Erase.
const std::vector<std::uint8_t> kExtendedCommands{0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x44, 0x63, 0x73, 0x82, 0x92};

}  // namespace

ChipPreset F103Preset() {
    ChipPreset p;
    p.name = "F103";
    p.productId = 0x410;
    p.flashStart = 0x08000000;
    p.flashSize = 128 * 1024;
    p.bootloaderVersion = 0x22;
    p.commands = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92};
    p.write = WriteBehaviour::NackDirty;
    p.pages.assign(128, EraseUnit{1024, 30'000});  // page erase 20-40 ms
    p.pagesPerWrpBit = 4;
    p.systemMemory = {0x1FFFF000, 0x800};
    p.optionBytes = {0x1FFFF800, 16};
    p.ram = {0x20000000, 20 * 1024};
    p.bootloaderRam = 0x200;
    p.signature = {0x1FFFF7E8, Uid(0x21, 0x34, 3, "VLK0103"), 0x1FFFF7E0};  // RM0008 §30
    // RDP, USER, DATA0, DATA1, WRP0..3, each followed by its complement.
    p.optionDefaults = {0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                        0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
    p.options = {0, 0xA5, {8, 10, 12, 14}, true};
    p.timing.bootStartUs = 2'000;
    p.timing.replyUs = 10;
    p.timing.programUnitBytes = 2;
    p.timing.programUnitNs = 52'500;  // 256 bytes: 6.7 ms
    p.timing.massEraseUs = 30'000;    // 20-40 ms
    p.timing.optionWriteUs = 31'000;  // erase plus eight half-words
    return p;
}

ChipPreset F407Preset() {
    ChipPreset p;
    p.name = "F407";
    p.productId = 0x413;
    p.flashStart = 0x08000000;
    p.flashSize = 1024 * 1024;
    p.bootloaderVersion = 0x31;
    p.commands = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x44, 0x63, 0x73, 0x82, 0x92};
    p.write = WriteBehaviour::AndBits;
    p.pages = F4Sectors(p.flashSize);
    p.pagesPerWrpBit = 1;
    p.systemMemory = {0x1FFF0000, 30 * 1024};
    p.otp = {0x1FFF7800, 528};
    p.optionBytes = {0x1FFFC000, 16};
    p.ram = {0x20000000, 128 * 1024};
    p.bootloaderRam = 0x3000;
    // RM0090 "Device electronic signature": just past the OTP block.
    p.engineering = {0x1FFF7A10, 0x14};
    p.signature = {0x1FFF7A10, Uid(0x17, 0x52, 9, "VLK0407"), 0x1FFF7A22};
    // USER, RDP, ..., nWRP (sectors 0-11) at 8 and 9.
    p.optionDefaults = {0xED, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    p.options = {1, 0xAA, {8, 9}, false};
    p.timing.bootStartUs = 2'000;
    p.timing.replyUs = 10;
    p.timing.programUnitBytes = 4;
    p.timing.programUnitNs = 16'000;     // 256 bytes: 1 ms
    p.timing.massEraseUs = 8'000'000;    // 8 s typical, 16 s at most
    p.timing.optionWriteUs = 20'000;
    return p;
}

ChipPreset F429Preset() {
    ChipPreset p = F407Preset();
    p.name = "F429";
    p.productId = 0x419;
    p.bootloaderVersion = 0x91;
    p.flashSize = 2048 * 1024;
    const auto bank = F4Sectors(1024 * 1024);
    p.pages = bank;
    p.pages.insert(p.pages.end(), bank.begin(), bank.end());
    p.banks = 2;
    p.ram = {0x20000000, 192 * 1024};
    // The real chip keeps bank 2's nWRP at 0x1FFEC008; here all 24 sectors
    // are one run of bits in bytes 8-10.
    p.optionDefaults[9] = 0xFF;
    p.optionDefaults[10] = 0xFF;
    p.options.wrpOffsets = {8, 9, 10};
    p.timing.massEraseUs = 16'000'000;
    p.timing.bankEraseUs = 8'000'000;
    return p;
}

ChipPreset F303Preset() {
    ChipPreset p = F103Preset();
    p.name = "F303";
    p.productId = 0x422;
    p.flashSize = 256 * 1024;
    p.bootloaderVersion = 0x41;
    // Bootloaders from 3.0 on erase with Extended Erase.
    p.commands = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x44, 0x63, 0x73, 0x82, 0x92};
    p.pages.assign(128, EraseUnit{2048, 30'000});  // page erase 20-40 ms
    p.pagesPerWrpBit = 2;                           // the last bit covers the pages from 62 on
    p.systemMemory = {0x1FFFD800, 0x2000};
    p.ram = {0x20000000, 40 * 1024};
    p.bootloaderRam = 0x1400;
    p.signature = {0x1FFFF7AC, Uid(0x08, 0x61, 2, "VLK0303"), 0x1FFFF7CC};  // RM0316
    // As the F1's, but level 0 of readout protection is 0xAA.
    p.optionDefaults[0] = 0xAA;
    p.optionDefaults[1] = 0x55;
    p.options.rdpUnprotected = 0xAA;
    return p;
}

ChipPreset G031Preset() {
    ChipPreset p;
    p.name = "G031";
    p.productId = 0x466;
    p.flashStart = 0x08000000;
    p.flashSize = 64 * 1024;
    p.bootloaderVersion = 0x31;
    p.commands = kExtendedCommands;
    p.write = WriteBehaviour::EccUnits;
    p.pages.assign(32, EraseUnit{2048, 22'000});  // page erase 22 ms
    // RM0444 §3.3.1, table 9: the information block.
    p.systemMemory = {0x1FFF0000, 0x2000};
    p.otp = {0x1FFF7000, 0x400};
    p.engineering = {0x1FFF7500, 0x300};
    p.optionBytes = {0x1FFF7800, 0x80};
    p.signature = {0x1FFF7590, Uid(0x42, 0x19, 14, "VLK0031"), 0x1FFF75E0};  // RM0444 §41
    p.ram = {0x20000000, 8 * 1024};
    p.bootloaderRam = 0x1000;
    // FLASH_OPTR as delivered, 0xFFFFFEAA: RDP level 0 is 0xAA. Write
    // protection by areas is not modelled.
    p.optionDefaults = {0xAA, 0xFE, 0xFF, 0xFF};
    p.options = {0, 0xAA, {}, false};
    // RM0444 §2.5: nBOOT_SEL (bit 24) set as delivered, so nBOOT0 (bit 26)
    // chooses, and the empty check sends a blank chip to the bootloader.
    p.optionBoot = {true, 3, 0x01, 0x04};
    p.timing.bootStartUs = 2'000;
    p.timing.replyUs = 10;
    p.timing.programUnitBytes = 8;
    p.timing.programUnitNs = 85'000;  // 64 bits: 85 us
    p.timing.massEraseUs = 22'100;
    p.timing.optionWriteUs = 22'000;
    return p;
}

// The C0 keeps the G0's information block, option bytes and boot by option
// bits (RM0490, "Boot configuration" and FLASH_OPTR: nBOOT_SEL set as
// delivered, the empty check latched at the option byte load); its
// bootloader has Extended Erase (AN2606, "STM32C031xx devices").
ChipPreset C031Preset() {
    ChipPreset p = G031Preset();
    p.name = "C031";
    p.productId = 0x453;
    // RM0490, FLASH memory organization: 32 KiB in 16 pages of 2 KiB.
    p.flashSize = 32 * 1024;
    p.pages.assign(16, EraseUnit{2048, 22'000});
    p.signature = {0x1FFF7550, Uid(0x27, 0x13, 5, "VLKC031"), 0x1FFF75A0};  // RM0490, device electronic signature
    p.ram = {0x20000000, 12 * 1024};
    return p;
}

ChipPreset L476Preset() {
    ChipPreset p = G031Preset();
    p.name = "L476";
    p.productId = 0x415;
    p.flashSize = 1024 * 1024;
    // RM0351, flash memory organization: two banks of 256 pages, bank 2 from 0x08080000.
    p.pages.assign(512, EraseUnit{2048, 22'000});
    p.banks = 2;
    p.systemMemory = {0x1FFF0000, 0x7000};
    p.optionBytes = {0x1FFF7800, 0x28};
    // The signature is where RM0351 says, but the L4 bootloaders NACK Read
    // Memory there (ST's community forum, L41x and L43x): no block to read.
    p.engineering = {};
    p.signature = {0x1FFF7590, Uid(0x33, 0x27, 6, "VLK0476"), 0x1FFF75E0};
    p.ram = {0x20000000, 96 * 1024};
    p.bootloaderRam = 0x3000;
    p.optionDefaults = {0xAA, 0xF8, 0xEF, 0xFF};  // FLASH_OPTR 0xFFEFF8AA
    p.optionBoot = {};  // the BOOT0 pin chooses as delivered
    p.timing.programUnitNs = 81'700;  // 64 bits: 81.7 us
    p.timing.bankEraseUs = 22'100;
    return p;
}

ChipPreset H743Preset() {
    ChipPreset p;
    p.name = "H743";
    p.productId = 0x450;
    p.flashStart = 0x08000000;
    p.flashSize = 2048 * 1024;
    p.bootloaderVersion = 0x31;
    p.commands = kExtendedCommands;
    p.write = WriteBehaviour::EccUnits;
    // RM0433: two banks of 8 sectors of 128 KiB, bank 2 from 0x08100000.
    p.pages.assign(16, EraseUnit{128 * 1024, 1'000'000});
    p.banks = 2;
    // Bank 1's system memory holds the electronic signature (RM0433).
    p.systemMemory = {0x1FF00000, 0x20000};
    p.signature = {0x1FF1E800, Uid(0x12, 0x48, 21, "VLK0743"), 0x1FF1E880};
    // The option bytes are registers here (FLASH_OPTSR_CUR); a simplified
    // block with RDP in its second byte, 0xAA at level 0.
    p.optionBytes = {0x5200201C, 8};
    p.optionDefaults = {0xF0, 0xAA, 0xC6, 0x13};
    p.options = {1, 0xAA, {}, false};
    p.ram = {0x20000000, 128 * 1024};  // DTCM
    p.bootloaderRam = 0x4000;
    p.timing.bootStartUs = 2'000;
    p.timing.replyUs = 10;
    p.timing.programUnitBytes = 32;   // a 256-bit flash word
    p.timing.programUnitNs = 16'000;
    p.timing.massEraseUs = 8'000'000;
    p.timing.bankEraseUs = 4'000'000;
    p.timing.optionWriteUs = 20'000;
    return p;
}

std::optional<ChipPreset> PresetByName(const std::string& name) {
    std::string n = name;
    std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (n == "f103") return F103Preset();
    if (n == "f407") return F407Preset();
    if (n == "f429") return F429Preset();
    if (n == "f303") return F303Preset();
    if (n == "g031") return G031Preset();
    if (n == "c031") return C031Preset();
    if (n == "l476") return L476Preset();
    if (n == "h743") return H743Preset();
    return std::nullopt;
}

void SetFlashSize(ChipPreset& preset, std::uint32_t size) {
    if (preset.pages.empty()) preset.pages.push_back({1024, 30'000});
    std::vector<EraseUnit> pages;
    std::uint32_t total = 0;
    for (std::size_t i = 0; total < size; ++i) {
        const EraseUnit u = i < preset.pages.size() ? preset.pages[i] : preset.pages.back();
        pages.push_back(u);
        total += u.size;
    }
    preset.pages = std::move(pages);
    preset.flashSize = size;
}

}  // namespace sim
