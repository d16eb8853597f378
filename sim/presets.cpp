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
    // As the F1's, but level 0 of readout protection is 0xAA.
    p.optionDefaults[0] = 0xAA;
    p.optionDefaults[1] = 0x55;
    p.options.rdpUnprotected = 0xAA;
    return p;
}

std::optional<ChipPreset> PresetByName(const std::string& name) {
    std::string n = name;
    std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (n == "f103") return F103Preset();
    if (n == "f407") return F407Preset();
    if (n == "f429") return F429Preset();
    if (n == "f303") return F303Preset();
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
