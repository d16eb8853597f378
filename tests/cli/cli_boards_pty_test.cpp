// Four boards at once at the real pace of the line: velkor-cli programs and
// verifies 64 KiB on each of four velkor-sim --wire-time. Each child blocks
// on its line instead of taking a core, so all four keep up with their
// chips on a small machine. How long it takes is the benchmark's business
// (bench/serial_cpu.sh); this checks that every board succeeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "cli_run.h"
#include "support/intel_hex.h"
#include "support/recorders.h"

namespace {

TEST(CliBoards, FourBoardsProgramAndVerify64KiBAtWireSpeed) {
    constexpr std::size_t kImage = 0x10000;
    std::vector<std::uint8_t> data(kImage);
    for (std::size_t i = 0; i < kImage; ++i) data[i] = static_cast<std::uint8_t>(i * 13 + i / 251);
    data.back() = 0x5A;  // the whole 64 KiB is used
    testsupport::TempDir tmp;
    tmp.Write("fw.hex", testsupport::IntelHex(data));

    std::vector<std::unique_ptr<clitest::Background>> sims;
    std::vector<std::string> args;
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<clitest::Background>(testsupport::ProgramDir() + "/velkor-sim",
                                                             std::vector<std::string>{"--wire-time"}));
        ASSERT_FALSE(sims.back()->firstLine().empty());
        args.insert(args.end(), {"--device", sims.back()->firstLine()});
    }
    args.insert(args.end(), {"--baud", "115200", "program", "fw.hex", "verify", "fw.hex"});
    const auto r = clitest::RunProgram(clitest::CliPath(), args, tmp.path(), -1, 600000);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto out = clitest::Lines(r.out);
    for (const auto& sim : sims) {
        const std::string& d = sim->firstLine();
        for (const char* closing : {": ..ende, programmiert bis 00010000", ": ..ende, verifiziert bis 00010000"})
            EXPECT_NE(std::find(out.begin(), out.end(), d + closing), out.end()) << d << closing << "\n" << r.out;
    }
}

}  // namespace
