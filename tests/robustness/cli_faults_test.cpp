// velkor-cli against velkor-sim with its fault options, on a pseudo-terminal
// in real time: each run ends within the waits of its commands with the
// job's closing text and exit status 1, and a read-out file never grows
// past the flash length.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "bootloader/protocol.h"
#include "cli/cli_run.h"
#include "support/intel_hex.h"
#include "support/recorders.h"

namespace {

using testsupport::ProgramDir;
using testsupport::ReadFile;

constexpr std::uint32_t kConnectMs = proto::kResetPulseMs + proto::kBootDelayMs + proto::kSyncAckMs;
constexpr std::uint32_t kReadBlockMs =
    proto::kReadCmdAckMs + proto::kAddressAckMs + proto::kReadLenAckMs + proto::kReadDataMs;
constexpr std::uint32_t kWriteBlockMs = proto::kWriteCmdAckMs + proto::kAddressAckMs + proto::kWriteDoneMs;
// Process start, a sanitizer build, a busy machine.
constexpr std::uint32_t kStartMs = 5000;

struct Timed {
    clitest::Result result;
    std::uint32_t ms = 0;
};

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        // Block 0 of the image full, one byte used in block 1.
        std::vector<std::uint8_t> data(0x101, 0xAA);
        for (unsigned i = 0; i < 0x100; ++i) data[i] = static_cast<std::uint8_t>(0x80 + i % 16);
        tmp.Write("fw.hex", testsupport::IntelHex(data));
    }

    // velkor-sim with these options, then velkor-cli on its line.
    Timed Against(std::vector<std::string> simArgs, std::vector<std::string> cliArgs) {
        simArgs.insert(simArgs.end(), {"--log", tmp.File("sim.log")});
        clitest::Background sim(ProgramDir() + "/velkor-sim", simArgs);
        EXPECT_FALSE(sim.firstLine().empty());
        cliArgs.insert(cliArgs.begin(), {"--device", sim.firstLine(), "--baud", "115200"});
        const auto start = std::chrono::steady_clock::now();
        Timed r;
        r.result = clitest::RunProgram(clitest::CliPath(), cliArgs, tmp.path());
        r.ms = static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        return r;
    }

    testsupport::TempDir tmp;
};

TEST_F(CliFaults, TheLineHangsUpInTheMiddleOfABlock) {
    // Bytes the chip receives: the sync, then 2 + 5 + 1 + 256 + 1 a write block.
    const Timed r = Against({"--hang-up-after", std::to_string(1 + 2 + 5 + 1 + 100)}, {"program", "fw.hex"});
    EXPECT_EQ(r.result.exitCode, 1) << r.result.err;
    EXPECT_EQ(r.result.out, "Fehler: 00 NAK bei $00000100\n");
    EXPECT_LT(r.ms, kConnectMs + kWriteBlockMs + kStartMs);

    // The read-out stops at the block where the line went, after the sync, a
    // read block (2 + 5 + 2) and the next command code; the file still holds
    // the flash length, no more.
    const Timed rd = Against({"--hang-up-after", std::to_string(1 + 9 + 1)},
                             {"--flash-len", "0x300", "read", "out.bin"});
    EXPECT_EQ(rd.result.exitCode, 1) << rd.result.err;
    EXPECT_EQ(rd.result.out, "00000100 NAK on Cmd\n");
    EXPECT_EQ(ReadFile(tmp.File("out.bin")).size(), 0x300u);
    EXPECT_LT(rd.ms, kConnectMs + 2 * kReadBlockMs + kStartMs);
}

TEST_F(CliFaults, TheChipFallsSilentInTheMiddleOfABlock) {
    tmp.Write("flash.bin", std::string(0x300, '\x5A'));
    // The sync acknowledge, a whole block (3 acknowledges, 256 bytes), then 3 + 50.
    const Timed r = Against({"--flash", tmp.File("flash.bin"), "--silent-after", std::to_string(1 + 259 + 3 + 50)},
                          {"--flash-len", "0x300", "read", "out.bin"});
    EXPECT_EQ(r.result.exitCode, 1) << r.result.err;
    EXPECT_EQ(r.result.out, "00000100 timeout gelesen: 255\n");
    EXPECT_EQ(ReadFile(tmp.File("out.bin")), std::string(0x100 + 50, '\x5A') + std::string(0x300 - 0x100 - 50, '\xFF'));
    EXPECT_LT(r.ms, kConnectMs + 2 * kReadBlockMs + kStartMs);
}

TEST_F(CliFaults, StrayBytesBeforeTheAcknowledges) {
    std::string flash(0x200, '\0');
    for (std::size_t k = 0; k < flash.size(); ++k) flash[k] = static_cast<char>(k * 7);
    tmp.Write("flash.bin", flash);
    // The read waits pass over them.
    const Timed rd = Against({"--flash", tmp.File("flash.bin"), "--stray", "1F,A5"},
                             {"--flash-len", "0x200", "read", "out.bin"});
    EXPECT_EQ(rd.result.exitCode, 0) << rd.result.err;
    EXPECT_EQ(rd.result.out, "gelesen bis $00000200 fertig.\n");
    EXPECT_EQ(ReadFile(tmp.File("out.bin")), flash);
    // The blank check takes a Get reply that begins with another byte as
    // complete and reads the rest of it as the answers to its first read:
    // that read fails, or its data do (how far, depends on the timing).
    const Timed blank = Against({"--stray", "1F"}, {"blank"});
    EXPECT_EQ(blank.result.exitCode, 1);
    EXPECT_TRUE(std::regex_match(blank.result.out, std::regex("(00000000 .*|Chip nicht leer bei \\$000000[0-9A-F]{2})\n")))
        << blank.result.out;
    // The answer to a written block is the first byte other than 0x00.
    const Timed p = Against({"--stray", "00"}, {"program", "fw.hex", "verify", "fw.hex"});
    EXPECT_EQ(p.result.exitCode, 0) << p.result.out << p.result.err;
    EXPECT_EQ(p.result.out, "..ende, programmiert bis 00000200\n..ende, verifiziert bis 00000200\n");
    const Timed nak = Against({"--stray", "1F"}, {"program", "fw.hex"});
    EXPECT_EQ(nak.result.exitCode, 1);
    EXPECT_EQ(nak.result.out, "Fehler: 1F NAK bei $00000100\n");
}

TEST_F(CliFaults, RefusedCommands) {
    const struct {
        const char* refused;
        std::vector<std::string> cli;
        const char* closing;
    } cases[] = {
        {"31", {"program", "fw.hex"}, "Fehler: 1F Schreibkommando nicht angenommen\n"},
        {"11", {"--flash-len", "0x100", "read", "out.bin"}, "00000000 NAK on Cmd\n"},
        {"92", {"erase"}, "Fehler beim Readout Unprotect\n"},
        {"00", {"info"}, "kein Ack vom Bootlader\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        const Timed r = Against({"--refuse", c.refused}, c.cli);
        EXPECT_EQ(r.result.exitCode, 1) << r.result.err;
        EXPECT_EQ(r.result.out, c.closing);
    }
}

TEST_F(CliFaults, AReadProtectedChipReadsAsNothingUntilErased) {
    const Timed r = Against({"--protected"}, {"--flash-len", "0x200", "read", "out.bin"});
    EXPECT_EQ(r.result.exitCode, 1);
    EXPECT_EQ(r.result.out, "00000000 NAK on Cmd\n");
    EXPECT_EQ(ReadFile(tmp.File("out.bin")), std::string(0x200, '\xFF'));

    const Timed e = Against({"--protected"}, {"--flash-len", "0x200", "erase", "blank"});
    EXPECT_EQ(e.result.exitCode, 0) << e.result.err;
    EXPECT_EQ(e.result.out, "Chip ist gel\xC3\xB6scht\nChip ist leer bis $00000200\n");
}

TEST_F(CliFaults, AChipThatIsNotErased) {
    std::string flash(0x400, '\xFF');
    flash[0x123] = 0x00;
    tmp.Write("flash.bin", flash);
    const Timed blank = Against({"--flash", tmp.File("flash.bin")}, {"--flash-len", "0x400", "blank"});
    EXPECT_EQ(blank.result.exitCode, 1);
    EXPECT_EQ(blank.result.out, "Chip nicht leer bei $00000123\n");
    // The F103 refuses to program over a half-word that isn't erased: block 1.
    const Timed program = Against({"--flash", tmp.File("flash.bin")}, {"program", "fw.hex"});
    EXPECT_EQ(program.result.exitCode, 1);
    EXPECT_EQ(program.result.out, "Fehler: 1F NAK bei $00000200\n");
    EXPECT_NE(program.result.err.find("use program --erase"), std::string::npos) << program.result.err;
    const Timed erased = Against({"--flash", tmp.File("flash.bin")}, {"program", "--erase", "fw.hex"});
    EXPECT_EQ(erased.result.exitCode, 0) << erased.result.err;
}

TEST_F(CliFaults, AReadOutFileThatCannotBeWritten) {
    // It can't be created: the job ends before the chip hears a byte.
    const Timed r = Against({}, {"read", "/proc/velkor-out.bin"});
    EXPECT_EQ(r.result.exitCode, 1);
    EXPECT_NE(r.result.out.find("/proc/velkor-out.bin"), std::string::npos) << r.result.out;
    EXPECT_EQ(ReadFile(tmp.File("sim.log")).find("sync"), std::string::npos);

    // The disk is full: the chip was read, but the job failed.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const Timed full = Against({}, {"--flash-len", "0x2000", "read", "/dev/full"});
    EXPECT_EQ(full.result.exitCode, 1);
    EXPECT_NE(full.result.out.find(std::strerror(ENOSPC)), std::string::npos) << full.result.out;
}

}  // namespace
