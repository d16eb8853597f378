// The pure parts of velkor-cli: numbers, line choices, progress lines, child command lines.
#include <gtest/gtest.h>

#include "cli/options.h"
#include "cli/terminal_status.h"

namespace {

using namespace cli;

TEST(CliParts, NumbersAreDecimalOrHexAndNeverWrap) {
    std::uint32_t v = 7;
    const std::pair<const char*, std::uint32_t> good[] = {
        {"134217728", 0x08000000u}, {"0x0800c000", 0x0800C000u}, {"0XFFFFFFFF", 0xFFFFFFFFu}};
    for (const auto& [text, want] : good) {
        EXPECT_TRUE(ParseNumber(text, v)) << text;
        EXPECT_EQ(v, want) << text;
    }
    for (const char* bad : {"", "0x", "4294967296", "0x100000000", "12k", "-1", " 1", "0x1g", "1e3"}) {
        v = 7;
        EXPECT_FALSE(ParseNumber(bad, v)) << bad;
        EXPECT_EQ(v, 7u) << bad;
    }
}

TEST(CliParts, LineChoicesByLabelOrIndex) {
    std::int32_t c = -9;
    const std::pair<const char*, std::int32_t> good[] = {{"aus", 0},    {"DTR hi", 1}, {"dtr-lo", 2},
                                                         {"RTS_HI", 3}, {"rtslo", 4},  {"4", 4}};
    for (const auto& [text, want] : good) {
        EXPECT_TRUE(ParseLineChoice(text, c)) << text;
        EXPECT_EQ(c, want) << text;
    }
    for (const char* bad : {"", "5", "-1", "DTR", "hi", "01"}) EXPECT_FALSE(ParseLineChoice(bad, c)) << bad;
}

TEST(CliParts, OnlyTheJobsPerBlockTextsCountAsProgress) {
    std::uint32_t v = 0;
    const std::pair<const char*, std::uint32_t> blocks[] = {{"programmiere $00001200", 0x1200u},
                                                            {"lese $0801FF00", 0x0801FF00u},
                                                            {"vergleiche $00000000", 0u},
                                                            {"teste $08000100", 0x08000100u}};
    for (const auto& [text, want] : blocks) {
        EXPECT_TRUE(ParseBlockText(text, v)) << text;
        EXPECT_EQ(v, want) << text;
    }
    for (const char* other : {"lese Hexdatei..", "programmiere..", "Fehler bei $00000100", "lese $0800",
                              "lese $0800010G", "teste $080001000", "gelesen bis $00020000 fertig."})
        EXPECT_FALSE(ParseBlockText(other, v)) << other;
}

TEST(CliParts, ProgressLineShowsBarBytesRateAndTimeLeft) {
    // A quarter of 64 KiB in 2 s: 8 KiB/s, 48 KiB to go, 6 s left.
    EXPECT_EQ(ProgressLine("lese $08004000", 0x4000, 0x10000, 2000),
              "lese $08004000 [#####---------------] 16.0/64.0 KiB 8.0 KiB/s 0:06 left");
    EXPECT_EQ(ProgressLine("lese $08000000", 0, 0x10000, 0),
              "lese $08000000 [--------------------] 0.0/64.0 KiB 0.0 KiB/s -:-- left");
    // Past the total (a last block beyond the flash length) the bar stays full.
    EXPECT_EQ(ProgressLine("teste $08010080", 0x10100, 0x10080, 1000).substr(0, 45),
              "teste $08010080 [####################] 64.1/6");
    EXPECT_EQ(ProgressLine("programmiere $00000000", 0, 0, 0).find("[####################] 0.0/0.0 KiB"), 23u);
}

TEST(CliParts, ChildRunsTheSameCommandsOnItsOnePort) {
    Request r;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--port", "3", "--baud=115200", "--device", "/dev/x", "--chip", "F1 board", "erase",
                                  "program", "-odd.hex", "read", "out-{port}.bin"},
                                 r, error))
        << error;
    ASSERT_EQ(r.ports.size(), 2u);
    EXPECT_EQ(ChildArguments(r, r.ports[1], ChildMode::Lines),
              (std::vector<std::string>{"--baud=115200", "--chip=F1 board", "--child=lines", "--device=/dev/x",
                                        "erase", "program", "-odd.hex", "read", "out-{port}.bin"}));
    EXPECT_EQ(ExpandPort("out-{port}.bin", r.ports[0]), "out-COM3.bin");
    EXPECT_EQ(ExpandPort("{port}/{port}.bin", r.ports[1]), "x/x.bin");

    Request child;
    ASSERT_TRUE(ParseCommandLine(ChildArguments(r, r.ports[0], ChildMode::Log), child, error)) << error;
    EXPECT_EQ(child.child, ChildMode::Log);
    ASSERT_EQ(child.ports.size(), 1u);
    EXPECT_EQ(child.ports[0].number, 3);
    EXPECT_EQ(child.chip, "F1 board");
    ASSERT_EQ(child.commands.size(), 3u);
    EXPECT_EQ(child.commands[1].file, "-odd.hex");
}

}  // namespace
