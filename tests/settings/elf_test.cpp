// ELF executables: the file bytes of each loadable segment at its load
// address, and a refusal by name of what an STM32 can't run.
#include "settings/elf.h"

#include <gtest/gtest.h>

#include "support/recorders.h"

namespace {

#if defined(_WIN32)

TEST(Elf, TheWindowsBuildSaysItCannotReadElf) {
    TFirmware f;
    std::string message;
    EXPECT_FALSE(ReadFirmware(std::string("\x7F" "ELF\x01\x01\x01", 7) + std::string(60, '\0'), "fw.elf", {}, f,
                              message));
    EXPECT_NE(message.find("no libelf"), std::string::npos) << message;
}

#else

std::string Fixture(const std::string& name) { return testsupport::ReadFile(VELKOR_ELF_FIXTURES "/" + name); }

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

std::uint32_t Get32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// Built by arm-none-eabi-gcc (tests/data/elf/make.sh): .data runs in RAM and
// is loaded from flash behind .text; .bss is a segment of its own in RAM
// without file bytes.
TEST(Elf, LoadAddressesGiveWhatObjcopyGives) {
    for (const char* chip : {"f103", "g031"}) {
        SCOPED_TRACE(chip);
        const std::string elf = Fixture(std::string(chip) + ".elf");
        const std::string bin = Fixture(std::string(chip) + ".bin");
        TFirmware f;
        std::string message;
        TFirmwareOptions o;
        o.flashStart = 0x08000000;
        ASSERT_TRUE(ReadFirmware(elf, "fw", o, f, message)) << message;
        EXPECT_EQ(f.form, TFirmwareForm::Elf);
        ASSERT_EQ(f.spans.size(), 1u);
        EXPECT_EQ(f.spans[0].offset, 0u);
        EXPECT_EQ(std::string(f.spans[0].bytes.begin(), f.spans[0].bytes.end()), bin);
        EXPECT_EQ(Describe(f), "ELF, load addresses, 0x08000000–0x080000A3, 164 bytes");
    }
}

TEST(Elf, WhatAnStm32CantRunIsRefusedByName) {
    const std::string good = Fixture("f103.elf");
    const std::size_t phoff = Get32(good, 28);  // e_phoff; p_paddr is 12 bytes into a header
    struct Case {
        const char* what;
        std::string content;
        const char* says;
    };
    std::string x86 = good;
    x86[18] = 3;  // e_machine EM_386
    std::string object = good;
    object[16] = 1;  // e_type ET_REL
    std::string inRam = good;
    Put32(inRam, phoff + 12, 0x20000000);
    std::string cut = good.substr(0, 0x100);  // the program headers stay, the segments' bytes go
    const Case cases[] = {
        {"64-bit", testsupport::ReadFile("/proc/self/exe"), "a 64-bit ELF file"},
        {"x86", x86, "an ELF file for x86, not ARM"},
        {"object", object, "no executable"},
        {"RAM", inRam, "segment 0: file bytes at 0x20000000–0x2000008F lie outside the flash image 0x08000000"},
        {"cut", cut, "segment "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFirmware f;
        std::string message;
        TFirmwareOptions o;
        o.flashStart = 0x08000000;
        EXPECT_FALSE(ReadFirmware(c.content, "fw.elf", o, f, message));
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
}

#endif

}  // namespace
