// The model checked by an independent client: stm32flash on velkor-sim's pty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "sim_process.h"
#include "support/recorders.h"

namespace {

const char* kTool = "/usr/bin/stm32flash";

// A pty keeps no parity bit, so stm32flash is told 8n1; velkor-sim takes
// the framing of a pty as 8E1.
int Flash(const std::string& slave, std::vector<std::string> args, std::string& out) {
    std::vector<std::string> argv{kTool, "-b", "115200", "-m", "8n1"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(slave);
    return simtest::Run(argv, out, 300);
}

void CheckRoundTrip(const std::vector<std::string>& simArgs, const std::string& deviceLine, std::size_t flashSize) {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << "stm32flash is not installed (scripts/install-deps.sh)";
    testsupport::TempDir dir;
    std::vector<std::string> args = simArgs;
    args.insert(args.end(), {"--flash", dir.File("chip.bin")});
    simtest::SimProcess sim(args);
    ASSERT_FALSE(sim.slave().empty());

    std::string out;
    ASSERT_EQ(Flash(sim.slave(), {}, out), 0) << out;
    EXPECT_NE(out.find(deviceLine), std::string::npos) << out;

    std::string image(5000, '\0');
    std::mt19937 random(7);
    for (auto& ch : image) ch = static_cast<char>(random());
    dir.Write("image.bin", image);
    out.clear();
    ASSERT_EQ(Flash(sim.slave(), {"-w", dir.File("image.bin"), "-v"}, out), 0) << out;
    out.clear();
    ASSERT_EQ(Flash(sim.slave(), {"-r", dir.File("back.bin")}, out), 0) << out;
    const std::string back = dir.Read("back.bin");
    ASSERT_EQ(back.size(), flashSize);
    EXPECT_EQ(back.substr(0, image.size()), image);
    EXPECT_EQ(back.substr(image.size()), std::string(flashSize - image.size(), '\xFF'));
    EXPECT_EQ(dir.Read("chip.bin"), back);

    out.clear();
    ASSERT_EQ(Flash(sim.slave(), {"-o"}, out), 0) << out;
    EXPECT_EQ(dir.Read("chip.bin"), std::string(flashSize, '\xFF'));
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace

TEST(SimStm32flashTest, F103InfoWriteVerifyReadBackAndErase) {
    CheckRoundTrip({}, "Device ID    : 0x0410", 128 * 1024);
}

TEST(SimStm32flashTest, F407WithExtendedErase) {
    // Its 8 s mass erase is real time here; the check is about the protocol.
    CheckRoundTrip({"--preset", "f407", "--no-flash-time"}, "Device ID    : 0x0413", 1024 * 1024);
}

TEST(SimStm32flashTest, G031WithEccDoubleWords) {
    CheckRoundTrip({"--preset", "g031"}, "Device ID    : 0x0466", 64 * 1024);
}

// stm32flash 0.7 knows no C0: it refuses the C031 by its ID. Presented as the
// F030x6, its one ID of 32 KiB (though of 1 KiB pages), the C031 serves it
// like the other presets.
TEST(SimStm32flashTest, C031RefusedByItsIdServesUnderOneOfTheSameSize) {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << "stm32flash is not installed (scripts/install-deps.sh)";
    {
        simtest::SimProcess sim({"--preset", "c031"});
        std::string out;
        EXPECT_NE(Flash(sim.slave(), {}, out), 0);
        EXPECT_NE(out.find("Unknown/unsupported device (Device ID: 0x453)"), std::string::npos) << out;
    }
    CheckRoundTrip({"--preset", "c031", "--id", "0x444"}, "Device ID    : 0x0444", 32 * 1024);
}

TEST(SimStm32flashTest, L476WithTwoBanksOfPages) {
    CheckRoundTrip({"--preset", "l476", "--no-flash-time"}, "Device ID    : 0x0415", 1024 * 1024);
}

TEST(SimStm32flashTest, H743WithFlashWordsAndTwoBanksOfSectors) {
    CheckRoundTrip({"--preset", "h743", "--no-flash-time"}, "Device ID    : 0x0450", 2048 * 1024);
}

// Powered anew after its first programming, a G0 as delivered starts its
// program, not the bootloader, whatever BOOT0 says.
TEST(SimStm32flashTest, G031ProgrammedOnceIsGoneAfterThePowerCycle) {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << "stm32flash is not installed (scripts/install-deps.sh)";
    testsupport::TempDir dir;
    dir.Write("image.bin", std::string("\x00\x20\x00\x20\xC1\x00\x00\x08", 8) + std::string(1000, '\x5A'));
    const std::vector<std::string> args{"--preset", "g031", "--flash", dir.File("chip.bin")};
    std::string out;
    {
        simtest::SimProcess sim(args);
        ASSERT_EQ(Flash(sim.slave(), {"-w", dir.File("image.bin")}, out), 0) << out;
        out.clear();
        ASSERT_EQ(Flash(sim.slave(), {}, out), 0) << "a reset alone keeps the power-on empty check: " << out;
    }
    simtest::SimProcess sim(args);
    out.clear();
    EXPECT_NE(Flash(sim.slave(), {}, out), 0);
    EXPECT_NE(out.find("Failed to init device"), std::string::npos) << out;
}
