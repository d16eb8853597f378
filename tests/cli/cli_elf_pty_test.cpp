// velkor-cli programs what arm-none-eabi-gcc linked, and the chip then holds
// what arm-none-eabi-objcopy -O binary makes of it (tests/data/elf/make.sh).
#include <gtest/gtest.h>

#include "cli_run.h"
#include "support/recorders.h"

namespace {

TEST(CliElf, AnF1AndAG0HoldWhatObjcopyGivesAfterProgram) {
    for (const char* chip : {"f103", "g031"}) {
        SCOPED_TRACE(chip);
        testsupport::TempDir tmp;
        const std::string elf = VELKOR_ELF_FIXTURES "/" + std::string(chip) + ".elf";
        const std::string bin = testsupport::ReadFile(VELKOR_ELF_FIXTURES "/" + std::string(chip) + ".bin");
        clitest::Background sim(testsupport::ProgramDir() + "/velkor-sim", {"--preset", chip});
        const auto r = clitest::RunProgram(clitest::CliPath(),
                                           {"--device", sim.firstLine(), "--boot-delay", "100", "--flash-len", "0x100",
                                            "program", "--erase", elf, "verify", elf, "read", "back.bin"},
                                           tmp.path());
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.err.find("ELF, load addresses, 0x08000000–0x080000A3, 164 bytes"), std::string::npos) << r.err;
        EXPECT_EQ(tmp.Read("back.bin"), bin + std::string(0x100 - bin.size(), '\xFF'));
    }
}

}  // namespace
