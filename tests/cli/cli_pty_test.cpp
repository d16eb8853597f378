// velkor-cli against velkor-sim on pseudo-terminals: every command, the
// progress line on a terminal, failures, and several boards at once.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

#include "cli_run.h"
#include "support/intel_hex.h"
#include "support/pty_pair.h"
#include "support/recorders.h"

namespace {

using clitest::CliPath;
using clitest::Lines;
using testsupport::ProgramDir;
using testsupport::ReadFile;
using clitest::RunProgram;

class Sim {
public:
    explicit Sim(std::vector<std::string> args) : process_(ProgramDir() + "/velkor-sim", std::move(args)) {}
    const std::string& device() const { return process_.firstLine(); }

private:
    clitest::Background process_;
};

std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> data(n);
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return data;
}

// Each wanted text appears as a whole line, in this order.
void ExpectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
    auto at = lines.begin();
    for (const auto& w : wanted) {
        at = std::find(at, lines.end(), w);
        ASSERT_NE(at, lines.end()) << "missing or out of order: " << w;
        ++at;
    }
}

class CliOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        data = Pattern(3000);
        tmp.Write("fw.hex", testsupport::IntelHex(data));
    }
    testsupport::TempDir tmp;
    std::vector<std::uint8_t> data;
};

TEST_F(CliOnSim, EveryChipCommandInOneRunOnOneConnection) {
    // Bytes take their wire time, as on a real line.
    Sim sim({"--wire-time", "--log", tmp.File("sim.log")});
    ASSERT_FALSE(sim.device().empty());
    const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--baud", "115200", "--flash-len", "0x2000",
                                          "erase", "blank", "program", "fw.hex", "verify", "fw.hex", "read",
                                          "out.bin", "reset"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Chip ist gelöscht\n"
              "Chip ist leer bis $00002000\n"
              "..ende, programmiert bis 00000C00\n"
              "..ende, verifiziert bis 00000C00\n"
              "gelesen bis $00002000 fertig.\n"
              "Normal-Start\n");
    const std::string form = "fw.hex: Intel HEX, offsets from the flash start, 0x08000000–0x08000BB7, 3000 bytes";
    ExpectInOrder(Lines(r.err), {sim.device() + " (115200 Bd) offen", "Verbinde", "Lese Commands",
                                 "Disable ReadProtect", "Disable WriteProtect", "Lösche", "Bootlader ok.",
                                 "teste $08000000", "teste $08001F00", form, "programmiere..",
                                 "programmiere $00000000", "programmiere $00000B00", form, "vergleiche $00000000",
                                 "vergleiche $00000B00", "lese $08000000", "lese $08001F00",
                                 "gelesen bis $00002000 fertig."});
    // The erase's own three (the unprotect commands reset the chip), then none.
    const auto log = Lines(tmp.Read("sim.log"));
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.find("sync at") != l.npos; }),
              3);
    EXPECT_EQ(r.err.find("verbinde.."), std::string::npos);
    std::string expected(data.begin(), data.end());
    expected.resize(0x2000, '\xFF');
    EXPECT_EQ(tmp.Read("out.bin"), expected);
}

TEST_F(CliOnSim, InfoMakesTheFoundChipCurrentForTheCommandsAfterIt) {
    std::filesystem::copy_file(CliPath(), tmp.File("velkor-cli"));
    tmp.Write("targets.cfi", "TESTCHIP;410;08000000;0;08000FFF;0\r\n");
    tmp.Write("flash.bin", std::string(data.begin(), data.end()));
    Sim sim({"--flash", tmp.File("flash.bin")});
    const auto r = RunProgram(tmp.File("velkor-cli"), {"--device", sim.device(), "info", "read", "out.bin"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 \n"
              "Bootlader Version 2.2\n00 Get Commands\n01 Get Laderversion\n02 Get Chip ID\n11 Read Memory\n"
              "21 Go Command\n31 Write Memory\n43 Simple Erase Memory\n63 Write Protect\n"
              "73 Disable Write Protect\n82 Enable Read Protect\n92 Disable Read Protect\n"
              "Opts:22 00 00 \nChip ID: 0410\nTESTCHIP (4 K Flash ab $08000000)\n"
              "gelesen bis $00001000 fertig.\n");
    ExpectInOrder(Lines(r.err), {"warte.."});
    // The target's 4 KiB, not the start value's 256 KiB.
    EXPECT_EQ(tmp.Read("out.bin"), std::string(data.begin(), data.end()) + std::string(0x1000 - 3000, '\xFF'));
}

TEST_F(CliOnSim, TheFirstFailureEndsTheRun) {
    {
        Sim sim({});  // erased flash: the verify finds a difference
        const auto r = RunProgram(CliPath(), {"--device", sim.device(), "verify", "fw.hex", "read", "never.bin"},
                                  tmp.path());
        EXPECT_EQ(r.exitCode, 1);
        char want[64];
        std::snprintf(want, sizeof want, "Fehler bei 00000000 ist: FF soll: %02X\n", data[0]);
        EXPECT_EQ(r.out, want);
        EXPECT_FALSE(std::filesystem::exists(tmp.File("never.bin")));
    }
    {
        testsupport::PtyPair silent;  // a line nobody answers on
        const auto r = RunProgram(CliPath(), {"--device", silent.slave(), "program", "fw.hex"}, tmp.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "keine Verbindung.\n");
        EXPECT_GT(silent.Waiting(), 0) << "the sync byte was sent";
    }
    {
        const auto r = RunProgram(CliPath(), {"--port", "250", "info", "reset"}, tmp.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "COM 250 (28800 Bd) kein Zugriff\n");
    }
}

TEST_F(CliOnSim, OnATerminalTheBlockTextsShareOneProgressLine) {
    Sim sim({});
    testsupport::PtyPair terminal;
    const int slave = open(terminal.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    std::string shown;
    // Reads all along, so the program never waits on a full terminal.
    std::thread reader([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        char buf[4096];
        for (;;) {
            const ssize_t n = read(terminal.master(), buf, sizeof buf);
            if (n > 0) {
                shown.append(buf, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            } else {
                break;  // EIO: every slave side closed and all of it read
            }
        }
    });
    const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--flash-len", "0x8000", "read", "out.bin"},
                              tmp.path(), slave);
    close(slave);
    reader.join();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "gelesen bis $00008000 fertig.\n");
    EXPECT_NE(shown.find("\rlese $08000000 [--------------------] 0.0/32.0 KiB"), std::string::npos) << shown;
    EXPECT_NE(shown.find("/32.0 KiB"), std::string::npos);
    EXPECT_NE(shown.find("KiB/s"), std::string::npos);
    // 128 block texts, but only the port, "verbinde..", the progress line and
    // the closing text end a line (the terminal turns LF into CR LF).
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 4) << shown;
    EXPECT_EQ(shown.find("\nlese $08000100"), std::string::npos);
}

TEST_F(CliOnSim, SeveralBoardsAtOnceOneFailing) {
    Sim good1({});
    Sim good2({});
    Sim bad({"--nack-write", "0x08000400"});
    const std::vector<std::string> devices{good1.device(), bad.device(), good2.device()};
    const auto r = RunProgram(CliPath(),
                              {"--device", devices[0], "--device", devices[1], "--device", devices[2], "--flash-len",
                               "0x1000", "program", "fw.hex", "verify", "fw.hex", "read", "out-{port}.bin"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    for (const auto& line : Lines(r.err))
        EXPECT_TRUE(line.rfind(devices[0] + ": ", 0) == 0 || line.rfind(devices[1] + ": ", 0) == 0 ||
                    line.rfind(devices[2] + ": ", 0) == 0)
            << line;
    const auto out = Lines(r.out);
    for (const std::string& d : {devices[0], devices[2]}) {
        ExpectInOrder(out, {d + ": ..ende, programmiert bis 00000C00", d + ": ..ende, verifiziert bis 00000C00",
                            d + ": gelesen bis $00001000 fertig."});
        EXPECT_EQ(ReadFile(tmp.File("out-" + std::filesystem::path(d).filename().string() + ".bin")).size(),
                  0x1000u);
    }
    ExpectInOrder(out, {devices[1] + ": Fehler: 1F NAK bei $00000500"});
    EXPECT_FALSE(std::filesystem::exists(tmp.File("out-" + std::filesystem::path(devices[1]).filename().string() +
                                                  ".bin")));

    // The table: a heading, then one row per board in the order given.
    ASSERT_GE(out.size(), 4u);
    const std::vector<std::string> table(out.end() - 4, out.end());
    EXPECT_EQ(table[0].rfind("port", 0), 0u) << table[0];
    const std::string rowResult[] = {"ok", "failed", "ok"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(table[static_cast<std::size_t>(i) + 1]);
        std::istringstream row(table[static_cast<std::size_t>(i) + 1]);
        std::string port, result, seconds, unit;
        row >> port >> result >> seconds >> unit;
        EXPECT_EQ(port, devices[static_cast<std::size_t>(i)]);
        EXPECT_EQ(result, rowResult[i]);
        EXPECT_GT(std::stod(seconds), 1.0);  // every board connected at least once
        EXPECT_EQ(unit, "s");
    }
    EXPECT_NE(table[2].find("Fehler: "), std::string::npos);
    EXPECT_NE(table[3].find("gelesen bis $00001000 fertig."), std::string::npos);
}

}  // namespace
