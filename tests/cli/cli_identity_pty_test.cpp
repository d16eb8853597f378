// velkor-cli reads each board's unique ID and flash size from the presets
// that keep them where their reference manuals say, and lives with chips
// that refuse to tell.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli_run.h"
#include "support/recorders.h"

namespace {

using clitest::CliPath;
using clitest::Lines;
using clitest::RunProgram;
using testsupport::ProgramDir;

class Sim {
public:
    explicit Sim(std::vector<std::string> args) : process_(ProgramDir() + "/velkor-sim", std::move(args)) {}
    const std::string& device() const { return process_.firstLine(); }

private:
    clitest::Background process_;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliIdentity, InfoPrintsWhatTheChipReportsAndNothingFailsWhereItRefuses) {
    struct Case {
        std::vector<std::string> sim;
        const char* uid;  // JSON value
        const char* flashSize;
    };
    const Case cases[] = {
        {{"--preset", "g031"}, "\"313330304B4C560E00190042\"", "65536"},
        {{"--preset", "h743"}, "\"333437304B4C561500480012\"", "2097152"},
        {{"--preset", "f103", "--flash-size", "64K"}, "\"333031304B4C560300340021\"", "65536"},
        // The L4 bootloader refuses the read; so does any chip under read-out protection.
        {{"--preset", "l476"}, "null", "null"},
        {{"--preset", "f103", "--protected"}, "null", "null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim.back());
        Sim sim(c.sim);
        const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "--json", "info"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(Has(r.out, std::string("\"uid\":") + c.uid)) << r.out;
        EXPECT_TRUE(Has(r.out, std::string("\"flash_size\":") + c.flashSize)) << r.out;
        const auto text = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "info"});
        EXPECT_EQ(text.exitCode, 0) << text.err;
        EXPECT_EQ(Has(text.out, "Unique ID: "), std::string(c.uid) != "null") << text.out;
    }
}

TEST(CliIdentity, TheReportedFlashSizeBoundsProgramAndRead) {
    testsupport::TempDir tmp;
    tmp.Write("big.bin", std::string(0x10000 + 1, '\x5A'));  // one byte more than the G031 holds
    Sim sim({"--preset", "g031", "--log", tmp.File("sim.log")});
    const auto r = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "program", "--erase",
                                          "big.bin"},
                              tmp.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "0x08010000, past the 64 KiB")) << r.out;
    const std::string log = tmp.Read("sim.log");
    EXPECT_FALSE(Has(log, "Erase")) << log;
    EXPECT_FALSE(Has(log, "Write Memory")) << log;

    // Not the start value's 256 KiB; an explicit length still wins.
    const auto read = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "read", "all.bin"},
                                 tmp.path());
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(tmp.Read("all.bin").size(), 0x10000u);
    const auto part = RunProgram(CliPath(), {"--device", sim.device(), "--boot-delay", "100", "--flash-len", "0x800",
                                             "read", "part.bin"},
                                 tmp.path());
    EXPECT_EQ(part.exitCode, 0) << part.err;
    EXPECT_EQ(tmp.Read("part.bin").size(), 0x800u);
}

TEST(CliIdentity, TheLogGainsOneLinePerBoardAndRunAndKeepsTheEarlierOnes) {
    testsupport::TempDir tmp;
    tmp.Write("abc.bin", "abc");
    tmp.Write("other.bin", "abd");
    Sim sim({"--preset", "g031"});
    const std::vector<std::string> base{"--device", sim.device(), "--boot-delay", "100", "--log", "runs.jsonl"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram(CliPath(), args, tmp.path());
    };
    EXPECT_EQ(run({"program", "--erase", "abc.bin", "verify", "abc.bin"}).exitCode, 0);
    const std::string first = tmp.Read("runs.jsonl");
    EXPECT_EQ(run({"verify", "other.bin"}).exitCode, 1);
    const std::string both = tmp.Read("runs.jsonl");
    ASSERT_EQ(both.rfind(first, 0), 0u) << both;
    const auto lines = Lines(both);
    ASSERT_EQ(lines.size(), 2u) << both;
    for (const char* part : {"\"uid\":\"313330304B4C560E00190042\"", "\"product_id\":\"0466\"",
                             "\"firmware\":[{\"file\":\"abc.bin\",\"sha256\":"
                             "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"}]",
                             "{\"command\":\"program\",\"file\":\"abc.bin\",\"outcome\":\"done\"",
                             "{\"command\":\"verify\",\"file\":\"abc.bin\",\"outcome\":\"done\"", "\"ok\":true"})
        EXPECT_TRUE(Has(lines[0], part)) << part << "\n" << lines[0];
    for (const char* part : {"{\"command\":\"verify\",\"file\":\"other.bin\",\"outcome\":\"mismatch\"", "\"ok\":false",
                             "\"time\":\"20", "\"port\":"})
        EXPECT_TRUE(Has(lines[1], part)) << part << "\n" << lines[1];

    // A log that can't be appended to stops the run before a port is opened.
    const auto bad = RunProgram(CliPath(), {"--device", sim.device(), "--log", tmp.File("no/such/folder.jsonl"),
                                            "info"});
    EXPECT_EQ(bad.exitCode, 2) << bad.err;
}

// A G0 or C0 as delivered lets option bits choose the boot source, and its
// empty check sends only a blank chip to the bootloader: one programming, then
// no connection after the next power-on, until boot-pin gives BOOT0 control.
TEST(CliIdentity, AG0OrC0AsDeliveredAnswersOnceUntilBootPinGivesTheBootPinControl) {
    testsupport::TempDir tmp;
    tmp.Write("app.bin", std::string("\x00\x20\x00\x20\xC1\x00\x00\x08", 8) + std::string(1000, '\x5A'));
    for (const std::string preset : {"g031", "c031"}) {
        SCOPED_TRACE(preset);
        auto run = [&](const std::string& board, std::vector<std::string> commands) {
            const std::string files = tmp.File(preset + board);
            Sim sim({"--preset", preset, "--flash", files + ".bin", "--options", files + ".opt"});
            std::vector<std::string> args{"--device", sim.device(), "--boot-delay", "100"};
            args.insert(args.end(), commands.begin(), commands.end());
            return RunProgram(CliPath(), args, tmp.path());
        };
        const auto fresh = run("a", {"info", "--json", "info"});
        EXPECT_EQ(fresh.exitCode, 0) << fresh.err;
        EXPECT_TRUE(Has(fresh.out, "Boot source: chosen by option bits (nBOOT_SEL set)")) << fresh.out;
        EXPECT_TRUE(Has(fresh.out, "\"boot_pin\":false")) << fresh.out;

        EXPECT_EQ(run("a", {"program", "app.bin"}).exitCode, 0);
        EXPECT_EQ(run("a", {"info"}).exitCode, 1) << "no command may clear nBOOT_SEL unasked";

        const auto fixed = run("b", {"program", "app.bin", "boot-pin"});
        EXPECT_EQ(fixed.exitCode, 0) << fixed.out << fixed.err;
        const auto later = run("b", {"--json", "info", "boot-pin"});
        EXPECT_EQ(later.exitCode, 0) << later.err;
        EXPECT_TRUE(Has(later.out, "\"boot_pin\":true")) << later.out;
        EXPECT_TRUE(Has(later.out, "nBOOT_SEL is clear")) << later.out;
    }

    // Where the pin always chooses there is nothing to write, and that is no failure.
    Sim f1({"--preset", "f103", "--log", tmp.File("f1.log")});
    const auto r = RunProgram(CliPath(), {"--device", f1.device(), "--boot-delay", "100", "boot-pin"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(Has(tmp.Read("f1.log"), "Write Memory"));
}

}  // namespace
