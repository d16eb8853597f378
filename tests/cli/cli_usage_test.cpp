// velkor-cli without a chip: usage errors, settings and the chip list.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_run.h"
#include "platform/version.h"
#include "support/pty_pair.h"
#include "support/recorders.h"

namespace {

using clitest::CliPath;
using clitest::RunProgram;

const char* const kTargets =
    "; Name;ChipId;FlashStart;Aux1;FlashEnd;Aux2\r\n"
    "STM32F103xB;410;08000000;0;0801FFFF;0\r\n"
    "STM32F407;413;08000000;0;080FFFFF;0\r\n";

// A program folder of its own, so that its default.cfp and targets.cfi are the test's.
class CliOwnFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(CliPath(), cli());
        dir.Write("targets.cfi", kTargets);
    }
    std::string cli() const { return dir.File("velkor-cli"); }
    testsupport::TempDir dir;
};

std::string Cfp(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

TEST(CliUsage, BadValuesEndWithExitTwoBeforeThePortIsTouched) {
    testsupport::TempDir tmp;
    tmp.Write("bad.hex", ":10000000ZZ\r\n");
    tmp.Write("ok.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    testsupport::PtyPair pty;
    const std::string dev = "--device=" + pty.slave();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{dev}, "no command given"},
        {{dev, "frobnicate"}, "unknown command 'frobnicate'"},
        {{dev, "--speed", "3", "info"}, "unknown option --speed"},
        {{dev, "info", "--baud"}, "--baud needs a value"},
        {{dev, "info", "--frobnicate"}, "unknown option --frobnicate"},
        {{dev, "--baud", "1200", "info"}, "--baud: '1200' is not a rate from 2400 to 115200"},
        {{dev, "--baud", "fast", "info"}, "--baud: 'fast'"},
        {{dev, "--reset", "DTR mid", "info"}, "--reset: 'DTR mid' is none of"},
        {{dev, "--boot=5", "info"}, "--boot: '5'"},
        {{"--port", "0", "info"}, "--port: '0' is not a port number 1 to 255"},
        {{"--port", "256", "info"}, "--port: '256'"},
        {{"--port", "3", "--port", "COM3", "info"}, "COM 3 is given twice"},
        {{dev, "--flash-len", "0x200001", "info"}, "--flash-len: '0x200001'"},
        {{dev, "--flash-start", "0x1_0000", "info"}, "--flash-start: '0x1_0000'"},
        {{dev, "--flash-start", "0xFFFFF000", "--flash-len", "0x2000", "info"}, "runs past address 0xFFFFFFFF"},
        {{dev, "--chip", "STM32F999", "info"}, "--chip: no chip 'STM32F999'"},
        {{dev, "--address", "0x1g", "info"}, "--address: '0x1g' is not an address"},
        {{dev, "--boot-delay", "60001", "info"}, "--boot-delay: '60001' is not a wait from 0 to 60000 ms"},
        {{dev, "--net-margin", "10001", "info"}, "--net-margin: '10001' is not a margin from 0 to 10000 ms"},
        {{dev, "--address", "0x08000000", "program", tmp.File("ok.hex")}, "carries its own addresses"},
        {{dev, "--config", tmp.File("missing.cfp"), "info"}, "--config: no file"},
        {{dev, "erase", "program"}, "program needs a file name"},
        {{dev, "erase", "program", tmp.File("missing.hex")}, "missing.hex: no such file"},
        {{dev, "erase", "verify", tmp.File("bad.hex")}, "bad.hex: non Hex Zeichen"},
        {{dev, "erase", "read", tmp.File("no/folder.bin")}, "no folder"},
        {{"--port", "3", "--port", "4", "program", tmp.File("ok.hex"), "read", tmp.File("same.bin")},
         "put {port} in its name"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const auto r = RunProgram(CliPath(), args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("velkor-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(pty.Waiting(), 0) << "bytes reached the line";
    EXPECT_FALSE(std::filesystem::exists(tmp.File("same.bin")));
}

// Words split as a shell splits them, double quotes kept together.
std::vector<std::string> ShellWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

TEST(CliUsage, HelpListsEveryCommandAndOptionAndItsExamplesWork) {
    const auto r = RunProgram(CliPath(), {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"info", "erase", "erase --pages LIST", "blank", "program [--erase] FILE", "verify FILE",
                             "read FILE.bin", "go [ADDR]", "protect", "reset", "settings", "targets", "ports",
                             "--port N", "--device PATH", "rfc2217://HOST:PORT", "--net-margin MS", "--baud", "--reset", "--boot", "--boot-delay MS", "--chip",
                             "--flash-start", "--flash-len", "--address A", "--config", "--json", "--version",
                             "BOOT 5", "\"RTS lo\"", "S-records", "Examples:"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    // Each example's options, with the shipped targets.cfi, make settings.
    testsupport::TempDir tmp;
    tmp.Write("line3.cfp", "BAUD    57600\r\n");
    const auto lines = clitest::Lines(r.out.substr(r.out.find("Examples:")));
    ASSERT_GT(lines.size(), 5u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const auto words = ShellWords(lines[i]);
        ASSERT_EQ(words.at(0), "velkor-cli");
        std::vector<std::string> options;
        for (std::size_t k = 1; k + 1 < words.size() && words[k].rfind("--", 0) == 0; k += 2)
            options.insert(options.end(), {words[k], words[k + 1]});
        options.push_back("settings");
        const auto run = RunProgram(CliPath(), options, tmp.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
}

TEST(CliUsage, VersionIsTheBuildsOne) {
    const auto r = RunProgram(CliPath(), {"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("velkor-cli ") + platform::Version() + "\n");
}

TEST_F(CliOwnFolder, StartValuesActAsTheWindowAfterItsFirstActivation) {
    const auto r = RunProgram(cli(), {"settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // BOOT 5 reads back from the radio group as 4, "RTS lo".
    EXPECT_EQ(r.out, Cfp({"BAUD    28800", "COM     1", "RESET   1", "BOOT    4", "MANU    TRUE", "AUTOERA TRUE",
                          "CHIPNAM STM32F???", "FLASH   134217728", "FLENG   262144",
                          "INI     " + dir.File("default.cfp"), "HEX     "}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("default.cfp"))) << "the command line never writes it";
}

TEST_F(CliOwnFolder, DefaultCfpThenConfigThenOptions) {
    const std::string defaults = Cfp({"BAUD    57600", "COM     7", "BOOT    2", "CHIPNAM F1 board", "HEX     a.hex"});
    dir.Write("default.cfp", defaults);
    auto r = RunProgram(cli(), {"settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(clitest::Lines(r.out)[0], "BAUD    57600\r");
    EXPECT_EQ(clitest::Lines(r.out)[1], "COM     7\r");
    EXPECT_EQ(clitest::Lines(r.out)[3], "BOOT    2\r");
    EXPECT_EQ(clitest::Lines(r.out)[10], "HEX     a.hex\r");

    // --config replaces default.cfp; its out-of-range values get the window's rules.
    const std::string line3 = Cfp({"BAUD    1200", "COM     4", "RESET   9", "BOOT    5", "MANU    FALSE"});
    dir.Write("line3.cfp", line3);
    r = RunProgram(cli(), {"--config", dir.File("line3.cfp"), "settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Cfp({"BAUD    38400", "COM     4", "RESET   4", "BOOT    4", "MANU    FALSE", "AUTOERA TRUE",
                          "CHIPNAM STM32F???", "FLASH   134217728", "FLENG   262144",
                          "INI     " + dir.File("line3.cfp"), "HEX     "}));

    r = RunProgram(cli(), {"--config=" + dir.File("line3.cfp"), "--port", "COM12", "--baud", "115200", "--reset", "rts-hi",
                    "--boot", "2", "--flash-start", "0x08004000", "--flash-len", "65536", "settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Cfp({"BAUD    115200", "COM     12", "RESET   3", "BOOT    2", "MANU    FALSE",
                          "AUTOERA TRUE", "CHIPNAM STM32F???", "FLASH   134234112", "FLENG   65536",
                          "INI     " + dir.File("line3.cfp"), "HEX     "}));
    EXPECT_EQ(dir.Read("default.cfp"), defaults);
    EXPECT_EQ(dir.Read("line3.cfp"), line3);
}

TEST_F(CliOwnFolder, ChipTakesNameAndFlashRangeAndDeviceASparePort) {
    const auto r = RunProgram(cli(), {"--chip", "stm32f407", "--device", "/dev/serial/by-id/x", "settings"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = clitest::Lines(r.out);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[1], "COM     256\r");
    EXPECT_EQ(lines[6], "CHIPNAM STM32F407\r");
    EXPECT_EQ(lines[7], "FLASH   134217728\r");
    EXPECT_EQ(lines[8], "FLENG   1048576\r");
}

TEST_F(CliOwnFolder, TargetsPrintsTheChipListAsTheWindowShowsIt) {
    auto r = RunProgram(cli(), {"targets"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "STM32F103xB (128 K Flash ab $08000000)\nSTM32F407 (1024 K Flash ab $08000000)\n");

    // A NUL in a name is a byte of the item like any other.
    dir.Write("targets.cfi", std::string("A\0B;410;08000000;0;0801FFFF;0\r\n", 31));
    r = RunProgram(cli(), {"targets"});
    EXPECT_EQ(r.out, std::string("A\0B (128 K Flash ab $08000000)\n", 31));

    std::filesystem::remove(dir.File("targets.cfi"));
    r = RunProgram(cli(), {"targets"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("targets.cfi"), std::string::npos);
}

TEST_F(CliOwnFolder, ErasingByPagesNeedsAReadablePagesCfi) {
    auto r = RunProgram(cli(), {"--port", "3", "erase", "--pages", "1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("erasing by pages needs the page table " + dir.File("pages.cfi") + ", which is missing"),
              std::string::npos)
        << r.err;
    dir.Write("pages.cfi", "; ChipId;FlashStart;Pages\r\n410;08000000;128 x 1K\r\n");
    r = RunProgram(cli(), {"--port", "3", "erase", "--pages", "1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(dir.File("pages.cfi") + ": line 2: '128' is not COUNTxSIZE"), std::string::npos) << r.err;
}

// settings > effective.cfp on a full disk must not leave a cut-off file behind a success.
TEST_F(CliOwnFolder, OutputThatCannotBeWrittenFailsTheRun) {
    for (const char* command : {"settings", "targets", "--help"}) {
        SCOPED_TRACE(command);
        const auto r = RunProgram("/bin/sh", {"-c", "exec \"$0\" \"$1\" > /dev/full", cli(), command});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("velkor-cli: cannot write the output"), std::string::npos) << r.err;
    }
}

}  // namespace
