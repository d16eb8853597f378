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

    // The table: a heading, then one row per board in the order given, each
    // named by the unique ID its chip reports (all three are the F103 preset).
    ASSERT_GE(out.size(), 4u);
    const std::vector<std::string> table(out.end() - 4, out.end());
    EXPECT_EQ(table[0].rfind("port", 0), 0u) << table[0];
    const std::string rowResult[] = {"ok", "failed", "ok"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(table[static_cast<std::size_t>(i) + 1]);
        std::istringstream row(table[static_cast<std::size_t>(i) + 1]);
        std::string port, board, result, seconds, unit;
        row >> port >> board >> result >> seconds >> unit;
        EXPECT_EQ(port, devices[static_cast<std::size_t>(i)]);
        EXPECT_EQ(board, "333031304B4C560300340021");
        EXPECT_EQ(result, rowResult[i]);
        EXPECT_GT(std::stod(seconds), 1.0);  // every board connected at least once
        EXPECT_EQ(unit, "s");
    }
    EXPECT_NE(table[2].find("Fehler: "), std::string::npos);
    EXPECT_NE(table[3].find("gelesen bis $00001000 fertig."), std::string::npos);
}

}  // namespace

namespace {

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
}

struct LayoutCase {
    const char* preset;
    std::uint32_t flashSize;
    std::vector<std::uint32_t> touched;  // [begin, end) of the pages the app touches, as offsets
};

// An application written beside a bootloader: exactly the pages it touches
// are erased, the bootloader and every other page keep their bytes.
TEST_F(CliOnSim, ProgramEraseClearsOnlyThePagesTheImageTouches) {
    const LayoutCase cases[] = {
        {"f103", 128 * 1024, {0x4000, 0x4C00}},  // 1 KiB pages 16-18, Erase
        {"f303", 256 * 1024, {0x4000, 0x5000}},  // 2 KiB pages 8-9, Extended Erase
        {"f407", 1024 * 1024, {0x4000, 0x8000}}, // 16 KiB sector 1
    };
    tmp.Write("app.bin", std::string(data.begin(), data.end()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preset);
        std::string old(c.flashSize, '\0');
        for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>(i % 251);
        tmp.Write("chip.bin", old);
        const std::string log = tmp.File(std::string(c.preset) + ".log");
        Sim sim({"--preset", c.preset, "--no-flash-time", "--flash", tmp.File("chip.bin"), "--log", log});
        const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--baud", "115200", "--boot-delay", "100",
                                              "--address", "0x08004000", "program", "--erase", "app.bin", "verify",
                                              "app.bin", "go"},
                                  tmp.path());
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        std::string want = old;
        std::fill(want.begin() + c.touched[0], want.begin() + c.touched[1], '\xFF');
        std::copy(data.begin(), data.end(), want.begin() + 0x4000);
        const std::string flash = tmp.Read("chip.bin");
        ASSERT_EQ(flash.size(), want.size());
        EXPECT_TRUE(flash == want) << "first difference at 0x" << std::hex
                                   << std::mismatch(flash.begin(), flash.end(), want.begin()).first - flash.begin();
        EXPECT_EQ(CountOf(testsupport::ReadFile(log), "sync at"), 1u);
        EXPECT_NE(testsupport::ReadFile(log).find("21 Go 08000000: ACK"), std::string::npos);
        EXPECT_NE(r.err.find("app.bin: binary, 0x08004000–0x08004BB7, 3000 bytes"), std::string::npos);
    }
}

TEST_F(CliOnSim, AChipWithoutAPageLayoutIsRefusedBeforeAnythingIsErased) {
    std::filesystem::copy_file(CliPath(), tmp.File("velkor-cli"));
    tmp.Write("pages.cfi", "; ChipId;FlashStart;Pages\r\n413;08000000;4x16K 1x64K 7x128K\r\n");
    tmp.Write("chip.bin", std::string(128 * 1024, '\0'));
    Sim sim({"--flash", tmp.File("chip.bin")});
    const auto r = RunProgram(tmp.File("velkor-cli"),
                              {"--device", sim.device(), "--boot-delay", "100", "program", "--erase", "fw.hex"}, tmp.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "product ID 0410 is not in pages.cfi: no erasing by pages on a guess (add the chip's layout "
                     "there, or erase the whole chip with erase)\n");
    EXPECT_EQ(tmp.Read("chip.bin"), std::string(128 * 1024, '\0'));
}

TEST_F(CliOnSim, JsonLinesForEachCommandAndTheRun) {
    Sim sim({"--log", tmp.File("sim.log")});
    const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "--json", "info", "program",
                                          "fw.hex", "protect", "info"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    const std::vector<std::vector<std::string>> fields = {
        {"{\"type\":\"command\",\"port\":\"" + sim.device() + "\",\"command\":\"info\",\"ok\":true,",
         "\"closing\":\"STM32F10x medium density (128 K Flash ab $08000000)\"", "\"product_id\":\"0410\"",
         "\"chip\":\"STM32F10x medium density\"", "\"lines\":[\"Len 11: 22 00", "\"bytes\":0", "\"ms\":"},
        {"\"command\":\"program\",\"file\":\"fw.hex\",\"ok\":true,\"closing\":\"..ende, programmiert bis 00000C00\"",
         "\"bytes\":3072", "\"form\":\"Intel HEX, offsets from the flash start, 0x08000000–0x08000BB7, 3000 bytes\"",
         "\"started\":\"20"},
        {"\"command\":\"protect\",\"ok\":true,\"closing\":\"Readout-Schutz gesetzt\""},
        {"\"command\":\"info\",\"ok\":true"},
        {"{\"type\":\"run\",\"port\":\"" + sim.device() + "\",\"ok\":true,\"exit\":0,\"commands\":4,\"done\":4,",
         "\"bytes\":3072,\"connects\":2,\"version\":\""},
    };
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(lines[i].back(), '}');
        for (const auto& f : fields[i]) EXPECT_NE(lines[i].find(f), std::string::npos) << lines[i] << "\n" << f;
    }
    // Protection resets the chip: the second info connects anew.
    EXPECT_EQ(CountOf(tmp.Read("sim.log"), "sync at"), 2u);
}

TEST_F(CliOnSim, PipesAreReadOnceAsFiles) {
    Sim sim({});
    // The --config from a pipe sets the speed; each firmware pipe is read once, before the port opens.
    const auto r = RunProgram("/bin/bash", {"-c", "exec \"$0\" --device \"$1\" --config <(printf 'BAUD    115200\\r\\n')"
                                                  " program <(cat fw.hex) verify <(cat fw.hex)",
                                            CliPath(), sim.device()},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "..ende, programmiert bis 00000C00\n..ende, verifiziert bis 00000C00\n");
    EXPECT_NE(r.err.find(sim.device() + " (115200 Bd) offen"), std::string::npos) << r.err;
    // Several boards each read the files themselves: a stream would be empty for all but one.
    const auto several = RunProgram("/bin/bash", {"-c", "exec \"$0\" --port 3 --port 4 program <(cat fw.hex)", CliPath()},
                                    tmp.path());
    EXPECT_EQ(several.exitCode, 2);
    EXPECT_NE(several.err.find("a stream reads only once: give a file"), std::string::npos) << several.err;
}

TEST_F(CliOnSim, InfoFailsWithoutAnIdAndWarnsOfAnUnlistedOne) {
    {
        Sim sim({"--refuse", "02"});
        const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "info", "read", "x.bin"},
                                  tmp.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(Lines(r.out).back(), "Chip ID: ? 1F");
        EXPECT_FALSE(std::filesystem::exists(tmp.File("x.bin")));
    }
    Sim sim({"--id", "999"});
    const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "info"}, tmp.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out).back(), "Chip ID: 0999");
    EXPECT_NE(r.err.find("velkor-cli: product ID 0999 is not in targets.cfi: the flash range stays 0x08000000, "
                         "262144 bytes"),
              std::string::npos)
        << r.err;
}

// The G0 and C0, the L4 with two banks and the H7 with its 128 KiB sectors:
// each erases only what the image touches, by its own layout in pages.cfi.
TEST_F(CliOnSim, TheNewFamiliesEraseOnlyTheTouchedPagesThenVerifyAndRead) {
    tmp.Write("app.bin", std::string(5000, '\x3C'));  // 0x08001000-0x08002387
    const std::pair<const char*, const char*> cases[] = {
        {"g031", "\"pages\":\"2-4\""}, {"c031", "\"pages\":\"2-4\""}, {"l476", "\"pages\":\"2-4\""},
        {"h743", "\"pages\":\"0\""}};
    for (const auto& [preset, pages] : cases) {
        SCOPED_TRACE(preset);
        Sim sim({"--preset", preset, "--no-flash-time"});
        const auto r = RunProgram(CliPath(),
                                  {"--device", sim.device(), "--boot-delay", "100", "--address", "0x08001000",
                                   "--flash-len", "0x3000", "--json", "program", "--erase", "app.bin",
                                   "verify", "app.bin", "read", "out.bin"},
                                  tmp.path());
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(pages), std::string::npos) << r.out;
        EXPECT_EQ(tmp.Read("out.bin"), std::string(0x1000, '\xFF') + std::string(5000, '\x3C') +
                                           std::string(0x3000 - 0x1000 - 5000, '\xFF'));
    }
}

TEST_F(CliOnSim, SeveralBoardsSummariseInfoByTheChipFound) {
    Sim a({});
    Sim b({"--preset", "f407"});
    const auto r = RunProgram(CliPath(), {"--device", a.device(), "--device", b.device(), "--boot-delay", "100", "info"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto out = Lines(r.out);
    ASSERT_GE(out.size(), 3u);
    EXPECT_NE(out[out.size() - 2].find(" ok "), std::string::npos) << r.out;
    EXPECT_NE(out[out.size() - 2].find("STM32F10x medium density (128 K Flash ab $08000000)"), std::string::npos);
    EXPECT_NE(out.back().find("STM32F405/407/415/417 (1024 K Flash ab $08000000)"), std::string::npos) << r.out;

    // As JSON: each board's own lines, then one summary.
    const auto j = RunProgram(
        CliPath(), {"--device", a.device(), "--device", b.device(), "--boot-delay", "100", "--json", "info"}, tmp.path());
    EXPECT_EQ(j.exitCode, 0) << j.err;
    const auto lines = Lines(j.out);
    ASSERT_EQ(lines.size(), 5u) << j.out;
    for (const auto& line : lines) EXPECT_EQ(line.rfind("{\"type\":", 0), 0u) << line;
    EXPECT_EQ(lines.back().rfind("{\"type\":\"summary\",\"ok\":true,\"exit\":0,", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find("\"boards\":[{\"port\":\"" + a.device() +
                                "\",\"uid\":\"333031304B4C560300340021\",\"result\":\"ok\""),
              std::string::npos)
        << lines.back();
    EXPECT_NE(lines.back().find("\"uid\":\"373034304B4C560900520017\""), std::string::npos) << lines.back();
}

TEST_F(CliOnSim, PortsListsTheNumbersThatHaveADeviceWithoutOpeningOne) {
    std::filesystem::copy_file(CliPath(), tmp.File("velkor-cli"));
    std::filesystem::create_directory(tmp.File("ports"));
    testsupport::PtyPair pty;
    std::filesystem::create_symlink(pty.slave(), tmp.File("ports/COM242"));
    std::filesystem::create_symlink(tmp.File("nothing"), tmp.File("ports/COM243"));
    const auto r = RunProgram(tmp.File("velkor-cli"), {"ports"}, tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("COM 242  " + pty.slave() + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("COM 243"), std::string::npos) << r.out;
    const auto j = RunProgram(tmp.File("velkor-cli"), {"--json", "ports"}, tmp.path());
    EXPECT_NE(j.out.find("{\"number\":242,\"path\":\"" + pty.slave() + "\",\"by_id\":null}"), std::string::npos)
        << j.out;
}

}  // namespace
