// Firmware files as the real tools write them (binutils from an ELF linked at
// 0x08000000, srecord with offsets and without), programmed by velkor-cli
// into velkor-sim and checked byte for byte in the chip's flash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "cli_run.h"
#include "support/recorders.h"

namespace {

using clitest::CliPath;
using clitest::RunProgram;
using testsupport::ProgramDir;

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

struct Form {
    const char* what;
    std::string command;  // makes out.fw from fw.bin or fw.elf in the folder
    std::string describes;
};

TEST(CliTools, EveryFormTheToolsWriteGoesInByteForByte) {
    for (const char* tool : {"objcopy", "ld", "srec_cat"})
        if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    constexpr std::size_t kSize = 70000;  // past a 64 KiB boundary: extended address records
    const std::string span = ", 0x08000000–0x0801116F, 70000 bytes";
    const Form forms[] = {
        {"objcopy -O ihex", "objcopy -O ihex fw.elf out.hex", "Intel HEX, chip addresses" + span},
        {"objcopy -O srec", "objcopy -O srec fw.elf out.s19", "Motorola S-records" + span},
        {"objcopy -O binary", "objcopy -O binary fw.elf out.bin", "binary" + span},
        {"srec_cat -intel", "srec_cat fw.bin -binary -o out.hex -intel", "Intel HEX, offsets from the flash start" + span},
        {"srec_cat -offset -intel", "srec_cat fw.bin -binary -offset 0x08000000 -o out.hex -intel",
         "Intel HEX, chip addresses" + span},
        {"srec_cat -offset -motorola", "srec_cat fw.bin -binary -offset 0x08000000 -o out.srec -motorola",
         "Motorola S-records" + span},
    };
    testsupport::TempDir dir;
    dir.Write("chip.bin", std::string(128 * 1024, '\0'));
    clitest::Background sim(ProgramDir() + "/velkor-sim", {"--flash", dir.File("chip.bin"), "--no-flash-time"});
    ASSERT_FALSE(sim.firstLine().empty());
    dir.Write("link.ld", "SECTIONS { .text 0x08000000 : { *(.data) } }\n");
    unsigned seed = 1;
    for (const Form& f : forms) {
        SCOPED_TRACE(f.what);
        // New bytes each time, so that what an earlier form left can't pass.
        std::string binary(kSize, '\0');
        std::mt19937 random(seed++);
        for (auto& c : binary) c = static_cast<char>(random());
        dir.Write("fw.bin", binary);
        const std::string make = "cd '" + dir.path() + "' && rm -f out.* && ld -m elf_i386 --oformat elf32-i386 -T link.ld"
                                 " -b binary fw.bin -o fw.elf && " + f.command;
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        const std::string file = f.command.substr(f.command.find("out."), f.command.find(' ', f.command.find("out.")) -
                                                                             f.command.find("out."));
        const auto r = RunProgram(CliPath(), {"--device", sim.firstLine(), "--baud", "115200", "--boot-delay", "100",
                                              "program", "--erase", file},
                                  dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.err.find(file + ": " + f.describes), std::string::npos) << r.err;
        const std::string flash = dir.Read("chip.bin");
        ASSERT_EQ(flash.size(), 128u * 1024);
        EXPECT_TRUE(flash.substr(0, kSize) == binary);
        // The rest of the last page touched is erased, the pages after it keep their old bytes.
        EXPECT_EQ(flash.substr(kSize, 0x11400 - kSize), std::string(0x11400 - kSize, '\xFF'));
        EXPECT_EQ(flash.substr(0x11400), std::string(128 * 1024 - 0x11400, '\0'));
    }
    // An S-record file without the offset has no chip addresses.
    ASSERT_EQ(std::system(("cd '" + dir.path() + "' && srec_cat fw.bin -binary -o low.srec -motorola").c_str()), 0);
    const auto r = RunProgram(CliPath(), {"--device", sim.firstLine(), "program", "low.srec"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("low.srec: line 2: 0x00000000 is outside the flash image 0x08000000–0x081FFFFF (S-records "
                         "carry chip addresses)"),
              std::string::npos)
        << r.err;
}

}  // namespace
